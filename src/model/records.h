// Small records of the wire protocol (server open, connect, analysed request, error texts,
// XA identifiers) with their companions, and copies of strings into caller buffers.
// Filled by the wire decoders, read by the service procedures and the backend.
#pragma once

#include "model/errcode.h"
#include "model/types.h"

struct Server {
  String serverOptions;
  String serverType;
};

struct Connect {
  String svHost;
  String svOptions;
  String dbType;
  String dbPath;
  String dbName;
  String dbOptions;
  int readOnly;
  String userName;
  String password;
  uns16 loginTimeout;
  String protocol;
  uns16 spare;
  localBool useSSL;
  localString application;
};

// A statement as the backend prepared it.
struct Request {
  String original;       // the client's text
  String translated;     // the text the driver runs
  uns16 numOutput;       // output parameters
  uns16 numInput;        // input parameters
  uns16 numInputOutput;  // input/output parameters
  uns16 reqType;         // REQ_* (below), by the statement's first word
  uns16 flags;           // REQ_F_* bits
};

// Request.reqType.
enum : uns16 {
  REQ_QUERY = 1,  // SELECT, also in parentheses
  REQ_DML = 2,    // INSERT, DELETE or UPDATE
  REQ_OTHER = 3,  // anything else
};

// Request.flags bits.
enum : uns16 { REQ_F_HAS_PARAMS = 0x2 };  // the statement has parameter markers

// The most error texts one ErrInfo may carry; the rest wait for the next call.
constexpr unsigned ERRINFO_MAX_MESSAGES = 10;

struct ErrInfo {
  sgn32 nativeError;
  unsigned int messageCount;
  String* messages;
};

// The platform's XA transaction identifier, as X/Open lays it out.
#ifndef XIDDATASIZE
#define XIDDATASIZE 128
struct xid_t {
  long formatID;
  long gtrid_length;
  long bqual_length;
  char data[XIDDATASIZE];
};
typedef struct xid_t XID;
#endif

struct XID_t {
  long formatID;
  long gtrid_length;
  long bqual_length;
  char data[128];
};

void Request_Done(Request* me);
void Server_Done(Server* me);
void Connect_Done(Connect* me);
void ErrInfo_Done(ErrInfo* me);
// Both copy at most 128 data bytes: lengths that are negative or add up to more
// than 128 copy none (the identifier is invalid and must be refused by the caller).
int XID_t_Init(XID_t* pVdbXid, XID* pOsXid);
int XID_Init(XID* pOsXid, XID_t* pVdbXid);
// True when both lengths are non-negative and together at most 128.
bool XID_t_Valid(const XID_t* x);

int StrCopyOut(const char* inStr, uns8* outStr, uns16 size, uns16* result);
int StrCopyOut2(const char* inStr, uns8* outStr, uns16 size, uns16* result);
