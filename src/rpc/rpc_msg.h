// RPC call and reply messages (RFC 5531, RPC version 2), the credential
// records, and the client-side translation of a reply into an outcome.
// Used by the server transports, the client handles and the dispatcher.
#pragma once

#include <sys/types.h>

#include "rpc/xdr.h"

constexpr unsigned int VYRRPC_RPC_MSG_VERSION = 2;
constexpr unsigned int VYRRPC_MAX_AUTH_BYTES = 400;

enum msg_type { CALL = 0, REPLY = 1 };
enum reply_stat { MSG_ACCEPTED = 0, MSG_DENIED = 1 };
enum accept_stat {
  SUCCESS = 0,
  PROG_UNAVAIL = 1,
  PROG_MISMATCH = 2,
  PROC_UNAVAIL = 3,
  GARBAGE_ARGS = 4,
  SYSTEM_ERR = 5
};
enum reject_stat { RPC_MISMATCH = 0, AUTH_ERROR = 1 };
enum auth_stat {
  AUTH_OK = 0,
  AUTH_BADCRED = 1,
  AUTH_REJECTEDCRED = 2,
  AUTH_BADVERF = 3,
  AUTH_REJECTEDVERF = 4,
  AUTH_TOOWEAK = 5,
  AUTH_INVALIDRESP = 6,
  AUTH_FAILED = 7
};
enum clnt_stat {
  RPC_SUCCESS = 0,
  RPC_CANTENCODEARGS = 1,
  RPC_CANTDECODERES = 2,
  RPC_CANTSEND = 3,
  RPC_CANTRECV = 4,
  RPC_TIMEDOUT = 5,
  RPC_VERSMISMATCH = 6,
  RPC_AUTHERROR = 7,
  RPC_PROGUNAVAIL = 8,
  RPC_PROGVERSMISMATCH = 9,
  RPC_PROCUNAVAIL = 10,
  RPC_CANTDECODEARGS = 11,
  RPC_SYSTEMERROR = 12,
  RPC_UNKNOWNHOST = 13,
  RPC_PMAPFAILURE = 14,
  RPC_PROGNOTREGISTERED = 15,
  RPC_FAILED = 16,
  RPC_UNKNOWNPROTO = 17
};

// Credential flavours understood.
constexpr int AUTH_NONE = 0;
constexpr int AUTH_UNIX = 1;
constexpr int AUTH_SHORT = 2;

struct opaque_auth {
  enum_t oa_flavor;
  char* oa_base;
  unsigned int oa_length;  // at most VYRRPC_MAX_AUTH_BYTES
};

struct call_body {
  unsigned int cb_rpcvers;
  unsigned int cb_prog;
  unsigned int cb_vers;
  unsigned int cb_proc;
  opaque_auth cb_cred;
  opaque_auth cb_verf;
};

struct accepted_reply {
  opaque_auth ar_verf;
  enum_t ar_stat;  // accept_stat
  union {
    struct {
      unsigned int low;
      unsigned int high;
    } AR_versions;
    struct {
      char* where;
      xdrproc_t proc;
    } AR_results;
  } ru;
};
#define ar_results ru.AR_results
#define ar_vers ru.AR_versions

struct rejected_reply {
  enum_t rj_stat;  // reject_stat
  union {
    struct {
      unsigned int low;
      unsigned int high;
    } RJ_versions;
    enum_t RJ_why;  // auth_stat
  } ru;
};
#define rj_vers ru.RJ_versions
#define rj_why ru.RJ_why

struct reply_body {
  enum_t rp_stat;  // reply_stat
  union {
    accepted_reply RP_ar;
    rejected_reply RP_dr;
  } ru;
};
#define rp_acpt ru.RP_ar
#define rp_rjct ru.RP_dr

struct rpc_msg {
  unsigned int rm_xid;
  enum_t rm_direction;  // msg_type
  union {
    call_body RM_cmb;
    reply_body RM_rmb;
  } ru;
};
#define rm_call ru.RM_cmb
#define rm_reply ru.RM_rmb
#define acpted_rply ru.RM_rmb.ru.RP_ar
#define rjcted_rply ru.RM_rmb.ru.RP_dr

union des_block {
  struct {
    unsigned int high;
    unsigned int low;
  } key;
  char c[8];
};

struct authunix_parms {
  unsigned int aup_time;
  char* aup_machname;
  uid_t aup_uid;
  gid_t aup_gid;
  unsigned int aup_len;
  gid_t* aup_gids;
};

// The decoded UNIX credential, placed in a call's credential area.
struct area {
  authunix_parms area_aup;
  char area_machname[256];
  gid_t area_gids[16];
};

struct rpc_err {
  enum_t re_status;  // clnt_stat
  union {
    int RE_errno;
    enum_t RE_why;  // auth_stat
    struct {
      unsigned int low;
      unsigned int high;
    } RE_vers;
    struct {
      int s1;
      int s2;
    } RE_lb;
  } ru;
};
#define re_errno ru.RE_errno
#define re_why ru.RE_why
#define re_vers ru.RE_vers
#define re_lb ru.RE_lb

// All-zero verifier: flavour 0, no body.
extern const opaque_auth VYRRPC__null_auth;

int VYRRPC_xdr_opaque_auth(XDR*, opaque_auth*);
int VYRRPC_xdr_des_block(XDR*, des_block*);
int VYRRPC_xdr_accepted_reply(XDR*, accepted_reply*);
int VYRRPC_xdr_rejected_reply(XDR*, rejected_reply*);
int VYRRPC_xdr_replymsg(XDR*, rpc_msg*);
int VYRRPC_xdr_callhdr(XDR*, rpc_msg*);
int VYRRPC_xdr_callmsg(XDR*, rpc_msg*);
int VYRRPC_xdr_authunix_parms(XDR*, authunix_parms*);

// Client side: the outcome of a decoded reply.
void VYRRPC__seterr_reply(rpc_msg* msg, rpc_err* error);
