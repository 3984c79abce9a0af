// The null authenticator every client handle carries: flavour 0, no body,
// for both credential and verifier.
#include <mutex>

#include "rpc/clnt.h"

rpc_createerr_t VYRRPC__rpc_createerr;

namespace {

struct authnone_private {
  AUTH no_client;
  char marshalled_client[20];
  unsigned int mcnt;
};

authnone_private* authnone = nullptr;

void authnone_verf(AUTH*) {}
int authnone_marshal(AUTH* client, XDR* xdrs) {
  (void)client;
  return xdrs->x_ops->x_putbytes(xdrs, authnone->marshalled_client, authnone->mcnt);
}
int authnone_validate(AUTH*, opaque_auth*) { return TRUE; }
int authnone_refresh(AUTH*) { return FALSE; }
void authnone_destroy(AUTH*) {}

const auth_ops ops = {authnone_verf, authnone_marshal, authnone_validate, authnone_refresh, authnone_destroy};

}  // namespace

AUTH* VYRRPC_authnone_create(void) {
  static std::once_flag once;
  std::call_once(once, [] {
    static authnone_private ap{};
    ap.no_client.ah_cred = ap.no_client.ah_verf = VYRRPC__null_auth;
    ap.no_client.ah_ops = &ops;
    XDR x;
    VYRRPC_xdrmem_create(&x, ap.marshalled_client, sizeof ap.marshalled_client, XDR_ENCODE);
    VYRRPC_xdr_opaque_auth(&x, &ap.no_client.ah_cred);
    VYRRPC_xdr_opaque_auth(&x, &ap.no_client.ah_verf);
    ap.mcnt = VYRRPC_xdr_getpos(&x);
    authnone = &ap;
  });
  return &authnone->no_client;
}
