/* The test program served by libtirpc with the dispatcher rpcgen generated,
 * on the sockets the launcher hands over ("+internal tcp=3,udp=4"), without
 * any port-mapper registration. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "interop.h"

void interop_prog_2(struct svc_req* rqstp, SVCXPRT* transp);

static char big_buffer[64 << 20];

void* interop_null_2_svc(void* arg, struct svc_req* rq) {
  (void)arg;
  (void)rq;
  static char dummy;
  return &dummy;
}

int* echo_int_2_svc(int* arg, struct svc_req* rq) {
  (void)rq;
  static int result;
  result = *arg;
  return &result;
}

blob* echo_bytes_2_svc(blob* arg, struct svc_req* rq) {
  (void)rq;
  static blob result;
  result.blob_len = arg->blob_len;
  result.blob_val = big_buffer;
  if (result.blob_len > sizeof big_buffer) result.blob_len = 0;
  memcpy(big_buffer, arg->blob_val, result.blob_len);
  return &result;
}

blob* big_2_svc(u_int* n, struct svc_req* rq) {
  (void)rq;
  static blob result;
  u_int i, len = *n > sizeof big_buffer ? (u_int)sizeof big_buffer : *n;
  for (i = 0; i < len; i++) big_buffer[i] = (char)(i * 31);
  result.blob_len = len;
  result.blob_val = big_buffer;
  return &result;
}

int interop_prog_2_freeresult(SVCXPRT* transp, xdrproc_t xdr_result, caddr_t result) {
  (void)transp;
  (void)xdr_result;
  (void)result;
  return 1;
}

int main(int argc, char** argv) {
  int tcp = 3, udp = 4;
  SVCXPRT *t, *u;
  if (argc >= 3 && strcmp(argv[1], "+internal") == 0 && strcmp(argv[2], "tcp=3,udp=4") != 0) {
    fprintf(stderr, "rpcgen_server: only tcp=3,udp=4\n");
    return 1;
  }
  t = svctcp_create(tcp, 0, 0);
  u = svcudp_create(udp);
  if (!t || !u || !svc_register(t, INTEROP_PROG, INTEROP_VERS, interop_prog_2, 0) ||
      !svc_register(u, INTEROP_PROG, INTEROP_VERS, interop_prog_2, 0)) {
    fprintf(stderr, "rpcgen_server: cannot serve\n");
    return 1;
  }
  svc_run();
  return 1;
}
