// Reply messages, the call-header prefix of clients, and the translation of a
// reply into a client outcome.
#include "rpc/rpc_msg.h"

#include "rpc/xdr_call.h"

const opaque_auth VYRRPC__null_auth = {0, nullptr, 0};

int VYRRPC_xdr_opaque_auth(XDR* xdrs, opaque_auth* ap) {
  if (!VYRRPC_xdr_enum(xdrs, &ap->oa_flavor)) return FALSE;
  return VYRRPC_xdr_bytes(xdrs, &ap->oa_base, &ap->oa_length, VYRRPC_MAX_AUTH_BYTES);
}

int VYRRPC_xdr_des_block(XDR* xdrs, des_block* blkp) {
  return VYRRPC_xdr_opaque(xdrs, blkp->c, sizeof(blkp->c));
}

VYRRPC_CALLS_FILTERS
int VYRRPC_xdr_accepted_reply(XDR* xdrs, accepted_reply* ar) {
  if (!VYRRPC_xdr_opaque_auth(xdrs, &ar->ar_verf)) return FALSE;
  if (!VYRRPC_xdr_enum(xdrs, &ar->ar_stat)) return FALSE;
  switch (ar->ar_stat) {
    case SUCCESS:
      return ar->ar_results.proc(xdrs, ar->ar_results.where);
    case PROG_MISMATCH:
      return VYRRPC_xdr_u_int(xdrs, &ar->ar_vers.low) && VYRRPC_xdr_u_int(xdrs, &ar->ar_vers.high);
    default:
      return TRUE;
  }
}

int VYRRPC_xdr_rejected_reply(XDR* xdrs, rejected_reply* rr) {
  if (!VYRRPC_xdr_enum(xdrs, &rr->rj_stat)) return FALSE;
  switch (rr->rj_stat) {
    case RPC_MISMATCH:
      return VYRRPC_xdr_u_int(xdrs, &rr->rj_vers.low) && VYRRPC_xdr_u_int(xdrs, &rr->rj_vers.high);
    case AUTH_ERROR:
      return VYRRPC_xdr_enum(xdrs, &rr->rj_why);
  }
  return FALSE;
}

int VYRRPC_xdr_replymsg(XDR* xdrs, rpc_msg* rmsg) {
  static const xdr_discrim reply_dscrm[] = {
      {MSG_ACCEPTED, reinterpret_cast<xdrproc_t>(VYRRPC_xdr_accepted_reply)},
      {MSG_DENIED, reinterpret_cast<xdrproc_t>(VYRRPC_xdr_rejected_reply)},
      {0, nullptr}};
  if (!VYRRPC_xdr_u_int(xdrs, &rmsg->rm_xid) || !VYRRPC_xdr_enum(xdrs, &rmsg->rm_direction)) return FALSE;
  if (rmsg->rm_direction != REPLY) return FALSE;
  return VYRRPC_xdr_union(xdrs, &rmsg->rm_reply.rp_stat, reinterpret_cast<char*>(&rmsg->rm_reply.ru),
                          reply_dscrm, nullptr);
}

int VYRRPC_xdr_callhdr(XDR* xdrs, rpc_msg* cmsg) {
  cmsg->rm_direction = CALL;
  cmsg->rm_call.cb_rpcvers = VYRRPC_RPC_MSG_VERSION;
  if (xdrs->x_op != XDR_ENCODE) return FALSE;
  return VYRRPC_xdr_u_int(xdrs, &cmsg->rm_xid) && VYRRPC_xdr_enum(xdrs, &cmsg->rm_direction) &&
         VYRRPC_xdr_u_int(xdrs, &cmsg->rm_call.cb_rpcvers) &&
         VYRRPC_xdr_u_int(xdrs, &cmsg->rm_call.cb_prog) && VYRRPC_xdr_u_int(xdrs, &cmsg->rm_call.cb_vers);
}

void VYRRPC__seterr_reply(rpc_msg* msg, rpc_err* error) {
  switch (msg->rm_reply.rp_stat) {
    case MSG_ACCEPTED: {
      accepted_reply& ar = msg->acpted_rply;
      switch (ar.ar_stat) {
        case SUCCESS:
          error->re_status = RPC_SUCCESS;
          return;
        case PROG_UNAVAIL:
          error->re_status = RPC_PROGUNAVAIL;
          return;
        case PROG_MISMATCH:
          error->re_status = RPC_PROGVERSMISMATCH;
          error->re_vers.low = ar.ar_vers.low;
          error->re_vers.high = ar.ar_vers.high;
          return;
        case PROC_UNAVAIL:
          error->re_status = RPC_PROCUNAVAIL;
          return;
        case GARBAGE_ARGS:
          error->re_status = RPC_CANTDECODEARGS;
          return;
        case SYSTEM_ERR:
          error->re_status = RPC_SYSTEMERROR;
          return;
        default:
          error->re_status = RPC_FAILED;
          error->re_lb.s1 = MSG_ACCEPTED;
          error->re_lb.s2 = ar.ar_stat;
          return;
      }
    }
    case MSG_DENIED: {
      rejected_reply& rr = msg->rjcted_rply;
      switch (rr.rj_stat) {
        case RPC_MISMATCH:
          error->re_status = RPC_VERSMISMATCH;
          error->re_vers.low = rr.rj_vers.low;
          error->re_vers.high = rr.rj_vers.high;
          return;
        case AUTH_ERROR:
          error->re_status = RPC_AUTHERROR;
          error->re_why = rr.rj_why;
          return;
        default:
          error->re_status = RPC_FAILED;
          error->re_lb.s1 = MSG_DENIED;
          error->re_lb.s2 = rr.rj_stat;
          return;
      }
    }
    default:
      error->re_status = RPC_FAILED;
      error->re_lb.s1 = msg->rm_reply.rp_stat;
      return;
  }
}

int VYRRPC_xdr_authunix_parms(XDR* xdrs, authunix_parms* p) {
  static_assert(sizeof(uid_t) == 4 && sizeof(gid_t) == 4);
  return VYRRPC_xdr_u_long(xdrs, &p->aup_time) && VYRRPC_xdr_string(xdrs, &p->aup_machname, 255) &&
         VYRRPC_xdr_u_int(xdrs, reinterpret_cast<unsigned int*>(&p->aup_uid)) &&
         VYRRPC_xdr_u_int(xdrs, reinterpret_cast<unsigned int*>(&p->aup_gid)) &&
         VYRRPC_xdr_array(xdrs, reinterpret_cast<char**>(&p->aup_gids), &p->aup_len, 16, sizeof(gid_t),
                          reinterpret_cast<xdrproc_t>(VYRRPC_xdr_int));
}
