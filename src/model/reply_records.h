// Result records of every procedure of RPC program 300272 version 2, in wire order.
// Filled by the service procedures in the dispatcher's zeroed result buffer, encoded
// into the reply and freed by the dispatcher; decoded by the wire client.
#pragma once

#include "model/request_records.h"

struct ParameterConversion {
  ctype_t cType;
  uns32 maxPrecision;
  uns32 conversionMask;
};

struct OpTable {
  uns16 type;  // only 1 travels
  unsigned int numElem;
  ParameterConversion* values;
};

struct getdrvparameterres {
  errcode_t error;
  paramval value;
};
struct errinfores {
  errcode_t error;
  ErrInfo info;
};
struct handleres {
  errcode_t error;
  handle_t handle;
};
struct connectres {
  errcode_t error;
  handle_t handle;
  String fail;
};
struct cursorname {
  errcode_t error;
  char* name;  // never null when encoded
};
struct executenres {
  errcode_t error;
  uns16 count;
};
struct coldescres {
  errcode_t error;
  struct {
    unsigned int desc_len;
    Coldesc* desc_val;
  } desc;
};
struct nativesqlres {
  errcode_t error;
  char* translated;  // never null when encoded
};
struct datasetres {
  errcode_t error;
  Dataset desc;
};
struct getoptableres {
  errcode_t error;
  OpTable* table;
};
struct xfetchres {
  errcode_t error;
  RowSet* pRowSet;
  uns32 crow;
  sgn32 RsltSetSize;
};
struct setposres {
  errcode_t error;
  struct {
    unsigned int rgfRowStatus_len;
    uns16* rgfRowStatus_val;
  } rgfRowStatus;
};
struct getdatares {
  errcode_t error;
  struct {
    unsigned int RcvBuff_len;
    char* RcvBuff_val;
  } RcvBuff;
  ctype_t CType;
  sgn32 cbRemaining;
};
struct paramdatares {
  errcode_t error;
  sgn32 iCol;
  sgn32 iRow;
  struct {
    unsigned int rgfRowStatus_len;
    uns16* rgfRowStatus_val;
  } rgfRowStatus;
};
struct bulkopres {
  errcode_t error;
  struct {
    unsigned int rgfRowStatus_len;
    uns16* rgfRowStatus_val;
  } rgfRowStatus;
  uns16 cRowsAffected;
  RowSet* pRowSet;
};
struct executejres {
  errcode_t error;
  sgn32 rowSetSize;
  struct {
    unsigned int colDesc_len;
    Coldesc* colDesc_val;
  } colDesc;
  struct {
    unsigned int parDesc_len;
    Coldesc* parDesc_val;
  } parDesc;
  sgn32 rowsProcessed;
};
struct preparejres {
  errcode_t error;
  handle_t hStmt;
};
struct fetchprocjres {
  errcode_t error;
  struct {
    unsigned int desc_len;
    Coldesc* desc_val;
  } desc;
  Dataset fetchdata;
};
struct executebatchres {
  errcode_t batchError;
  struct {
    unsigned int results_len;
    sgn32* results_val;
  } results;
};
struct colattribsres {
  errcode_t error;
  uns16 nCols;
  uns16 nAttribs;
  struct {
    unsigned int desc_len;
    Coldesc* desc_val;
  } desc;
  struct {
    unsigned int attrib_len;
    ColAttrib* attrib_val;
  } attrib;
};
struct executej2res {
  errcode_t error;
  sgn32 rowSetSize;
  struct {
    unsigned int colDesc_len;
    Coldesc* colDesc_val;
  } colDesc;
  struct {
    unsigned int parDesc_len;
    Coldesc* parDesc_val;
  } parDesc;
  sgn32 rowsProcessed;
  uns16 nAttribs;
  struct {
    unsigned int attrib_len;
    ColAttrib* attrib_val;
  } attrib;
};
struct xacmpltres {
  sgn32 xarc;
  sgn32 retVal;
};
struct xarcvrres {
  sgn32 xarc;
  struct {
    unsigned int xIds_len;
    XID_t* xIds_val;
  } xIds;
};
