/* Calls the test program with libtirpc's client over TCP or UDP on an
 * explicit port: null, echo of an int, echo of 1000 bytes, and (TCP) a
 * 100000-byte reply. Prints "ok" and exits 0 when every answer is right. */
#include <arpa/inet.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "interop.h"

static int fail(const char* what, CLIENT* c) {
  fprintf(stderr, "tirpc_client: %s: %s\n", what, c ? clnt_sperror(c, "") : "no handle");
  return 1;
}

int main(int argc, char** argv) {
  struct sockaddr_in addr;
  int sock = RPC_ANYSOCK;
  CLIENT* c;
  int tcp, in = 4242, *out;
  blob b, *rb;
  char data[1000];
  u_int n = 100000, i;
  if (argc != 3) {
    fprintf(stderr, "usage: tirpc_client tcp|udp port\n");
    return 2;
  }
  tcp = strcmp(argv[1], "tcp") == 0;
  memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons((unsigned short)atoi(argv[2]));
  if (tcp) {
    c = clnttcp_create(&addr, INTEROP_PROG, INTEROP_VERS, &sock, 0, 0);
  } else {
    struct timeval wait = {1, 0};
    c = clntudp_create(&addr, INTEROP_PROG, INTEROP_VERS, wait, &sock);
  }
  if (!c) return fail("create", c);
  if (!interop_null_2(NULL, c)) return fail("null", c);
  out = echo_int_2(&in, c);
  if (!out || *out != 4242) return fail("echo int", c);
  for (i = 0; i < sizeof data; i++) data[i] = (char)(i * 7);
  b.blob_len = sizeof data;
  b.blob_val = data;
  rb = echo_bytes_2(&b, c);
  if (!rb || rb->blob_len != sizeof data || memcmp(rb->blob_val, data, sizeof data) != 0)
    return fail("echo bytes", c);
  if (tcp) {
    rb = big_2(&n, c);
    if (!rb || rb->blob_len != n) return fail("big", c);
    for (i = 0; i < n; i++)
      if (rb->blob_val[i] != (char)(i * 31)) return fail("big contents", c);
  }
  clnt_destroy(c);
  printf("ok\n");
  return 0;
}
