/* The rpcgen server of the benchmark: libtirpc with the dispatcher rpcgen
 * generated, the same procedures as our server, on a loopback port it prints. */
#include <arpa/inet.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "interop.h"

void interop_prog_2(struct svc_req* rqstp, SVCXPRT* transp);

static char* big;
static u_int big_size = 16u << 20;

void* interop_null_2_svc(void* arg, struct svc_req* rq) {
  static char dummy;
  (void)arg;
  (void)rq;
  return &dummy;
}

int* echo_int_2_svc(int* arg, struct svc_req* rq) {
  static int result;
  (void)rq;
  result = *arg;
  return &result;
}

blob* echo_bytes_2_svc(blob* arg, struct svc_req* rq) {
  static blob result;
  (void)rq;
  result = *arg;
  return &result;
}

blob* big_2_svc(u_int* n, struct svc_req* rq) {
  static blob result;
  (void)rq;
  result.blob_len = *n > big_size ? big_size : *n;
  result.blob_val = big;
  return &result;
}

int interop_prog_2_freeresult(SVCXPRT* transp, xdrproc_t xdr_result, caddr_t result) {
  (void)transp;
  (void)xdr_result;
  (void)result;
  return 1;
}

int main(void) {
  struct sockaddr_in a;
  socklen_t len = sizeof a;
  u_int i;
  int s = socket(AF_INET, SOCK_STREAM, 0);
  SVCXPRT* x;
  big = malloc(big_size);
  for (i = 0; i < big_size; i++) big[i] = (char)(i * 31);
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(s, (struct sockaddr*)&a, sizeof a) != 0) return 1;
  getsockname(s, (struct sockaddr*)&a, &len);
  listen(s, 32);
  x = svctcp_create(s, 0, 0);
  if (!x || !svc_register(x, INTEROP_PROG, INTEROP_VERS, interop_prog_2, 0)) return 1;
  printf("%d\n", ntohs(a.sin_port));
  fflush(stdout);
  svc_run();
  return 1;
}
