// Authentication of received calls by credential flavour. The verifier of a
// call is never examined; every reply carries an empty null verifier.
#include <arpa/inet.h>

#include <cstdint>
#include <cstring>

#include "rpc/svc.h"

namespace {

typedef auth_stat (*authenticator)(svc_req*, rpc_msg*);

const authenticator svcauthsw[] = {VYRRPC__svcauth_null, VYRRPC__svcauth_unix, VYRRPC__svcauth_short};

// A bounded reader over a credential body: every length is checked against
// the bytes that remain before anything it counts is read.
struct Cursor {
  const char* p;
  unsigned int left;
  bool unit(uint32_t* v) {
    if (left < 4) return false;
    memcpy(v, p, 4);
    *v = ntohl(*v);
    p += 4;
    left -= 4;
    return true;
  }
  bool skip(unsigned int n) {
    if (left < n) return false;
    p += n;
    left -= n;
    return true;
  }
};

}  // namespace

auth_stat VYRRPC__authenticate(svc_req* rqst, rpc_msg* msg) {
  rqst->rq_cred = msg->rm_call.cb_cred;
  rqst->rq_xprt->xp_verf.oa_flavor = VYRRPC__null_auth.oa_flavor;
  rqst->rq_xprt->xp_verf.oa_length = 0;
  unsigned int flavor = static_cast<unsigned int>(rqst->rq_cred.oa_flavor);
  if (flavor < sizeof(svcauthsw) / sizeof(svcauthsw[0])) return svcauthsw[flavor](rqst, msg);
  return AUTH_REJECTEDCRED;
}

auth_stat VYRRPC__svcauth_null(svc_req*, rpc_msg*) { return AUTH_OK; }

auth_stat VYRRPC__svcauth_short(svc_req*, rpc_msg*) { return AUTH_REJECTEDCRED; }

auth_stat VYRRPC__svcauth_unix(svc_req* rqst, rpc_msg* msg) {
  area* ar = reinterpret_cast<area*>(rqst->rq_clntcred);
  authunix_parms* aup = &ar->area_aup;
  aup->aup_machname = ar->area_machname;
  aup->aup_gids = ar->area_gids;
  const opaque_auth& cred = msg->rm_call.cb_cred;
  if (cred.oa_length > 0 && cred.oa_base == nullptr) return AUTH_BADCRED;
  Cursor c{cred.oa_base, cred.oa_length};
  uint32_t stamp, namelen, uid, gid, ngids;
  if (!c.unit(&stamp) || !c.unit(&namelen)) return AUTH_BADCRED;
  if (namelen > 255) return AUTH_BADCRED;
  const char* name = c.p;
  if (!c.skip((namelen + 3) & ~3u)) return AUTH_BADCRED;
  if (!c.unit(&uid) || !c.unit(&gid) || !c.unit(&ngids)) return AUTH_BADCRED;
  if (ngids > 16) return AUTH_BADCRED;
  if (c.left < ngids * 4) return AUTH_BADCRED;
  aup->aup_time = stamp;
  memcpy(ar->area_machname, name, namelen);
  ar->area_machname[namelen] = '\0';
  aup->aup_uid = uid;
  aup->aup_gid = gid;
  aup->aup_len = ngids;
  for (uint32_t i = 0; i < ngids; i++) {
    uint32_t g = 0;
    c.unit(&g);
    ar->area_gids[i] = g;
  }
  rqst->rq_xprt->xp_verf.oa_flavor = AUTH_NONE;
  rqst->rq_xprt->xp_verf.oa_length = 0;
  return AUTH_OK;
}
