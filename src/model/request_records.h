// Argument records of every procedure of RPC program 300272 version 2, in wire order.
// Decoded by the dispatcher, read by the service procedures, built by the wire client.
// Arrays are (count, pointer) pairs; optional records are pointers (null when absent).
#pragma once

#include "model/colattr.h"
#include "model/dataset.h"
#include "model/records.h"

// Value of a driver parameter: type 0 none, 1 text, 2 integer.
struct paramval {
  sgn16 type;
  union {
    String s;
    sgn32 l;
  } paramval_u;
};

typedef enum savePntCmd_t : int { SVPNT_SET = 0, SVPNT_ROLLBACK = 1, SVPNT_RELEASE = 2 } savePntCmd_t;

struct call_connect {
  handle_t handle;
  Connect* arg;
};
struct call_getdrvparameter {
  handle_t handle;
  uns32 opcode;
};
struct call_setdrvparameter {
  handle_t handle;
  uns32 opcode;
  paramval value;
};
struct call_getoptable {
  handle_t handle;
  uns16 type;
};

struct call_setcursorname {
  handle_t handle;
  char* newName;
};
struct call_prepare {
  handle_t handle;
  char* request;
};
struct call_parameters {
  handle_t handle;
  Dataset* parameters;
};
struct call_executen {
  handle_t handle;
  uns16 offset;
  uns16 count;
};
struct call_nativesql {
  handle_t handle;
  char* sql;
};
struct call_bind {
  handle_t handle;
  struct {
    unsigned int desc_len;
    Bindesc* desc_val;
  } desc;
};
struct call_execute2 {
  handle_t handle;
  String request;
  Dataset* parameters;
  struct {
    unsigned int desc_len;
    Bindesc* desc_val;
  } desc;
};
struct call_executej {
  handle_t hStmt;
  String request;
  Dataset* parameters;
  struct {
    unsigned int desc_len;
    Bindesc* desc_val;
  } desc;
  sgn32 rowSetSize;
};
typedef call_executej call_executej2;
struct call_preparej {
  handle_t hConn;
  String request;
  sgn32 cursConcurrency;
  sgn32 cursType;
};
struct Batch {
  String request;
  struct {
    unsigned int desc_len;
    Bindesc* desc_val;
  } desc;
  Dataset* parameters;
};
struct call_executebatch {
  handle_t hStmt;
  struct {
    unsigned int calls_len;
    Batch* calls_val;
  } calls;
};
struct call_savepoint {
  handle_t hConn;
  savePntCmd_t cmd;
  String name;
};
struct call_execute2x {
  handle_t handle;
  String request;
  Dataset* parameters;
  struct {
    unsigned int desc_len;
    BindescX* desc_val;
  } desc;
};
struct call_bindx {
  handle_t handle;
  struct {
    unsigned int desc_len;
    BindescX* desc_val;
  } desc;
};

struct call_fetch {
  handle_t handle;
  uns16 maxRows;
};
struct call_extendedfetch {
  handle_t handle;
  sgn32 irow;
};
struct call_extendedfetch2 {
  handle_t handle;
  sgn32 irow;
  sgn32 fetchtype;
};
struct call_setpos {
  handle_t handle;
  sgn32 irow;
  uns16 fOption;
  uns16 fLock;
  Dataset* pDS;
  struct {
    unsigned int rgiCol_len;
    uns16* rgiCol_val;
  } rgiCol;
};
struct call_bulkoperations {
  handle_t handle;
  uns16 fOperation;
  struct {
    unsigned int rBookMarks_len;
    bookmark_t* rBookMarks_val;
  } rBookMarks;
  uns16 cRows;
  Dataset* pDS;
  struct {
    unsigned int rgiCol_len;
    uns16* rgiCol_val;
  } rgiCol;
  uns16 cCols;
};
struct call_getdata {
  handle_t handle;
  sgn32 iCol;
  sgn32 iRow;
  precision_t cbWanted;
};
struct call_putdata {
  handle_t handle;
  ctype_t cType;
  indicator_t ind;
  struct {
    unsigned int XferBuff_len;
    char* XferBuff_val;
  } XferBuff;
};

// Catalog argument records.
struct DDColumnPrivileges {
  String tableQualifier, tableOwner, tableName, columnName;
};
struct DDColumns {
  String tableQualifier, tableOwner, tableName, columnName;
};
struct DDForeignKeys {
  String pkTableQualifier, pkTableOwner, pkTableName, fkTableQualifier, fkTableOwner, fkTableName;
};
struct DDPrimaryKeys {
  String tableQualifier, tableOwner, tableName;
};
struct DDProcedureColumns {
  String procQualifier, procOwner, procName, columnName;
};
struct DDProcedures {
  String procQualifier, procOwner, procName;
};
struct DDSpecialColumns {
  String tableQualifier, tableOwner, tableName;
  uns16 colType, scope, nullable;
};
struct DDStatistics {
  String tableQualifier, tableOwner, tableName;
  uns16 unique, accuracy;
};
struct DDTablePrivileges {
  String tableQualifier, tableOwner, tableName;
};
struct DDTables {
  String tableQualifier, tableOwner, tableName, tableType;
};

struct call_columnprivileges {
  handle_t handle;
  DDColumnPrivileges* arg;
};
struct call_columns {
  handle_t handle;
  DDColumns* arg;
};
struct call_foreignkeys {
  handle_t handle;
  DDForeignKeys* arg;
};
struct call_primarykeys {
  handle_t handle;
  DDPrimaryKeys* arg;
};
struct call_procedurecolumns {
  handle_t handle;
  DDProcedureColumns* arg;
};
struct call_procedures {
  handle_t handle;
  DDProcedures* arg;
};
struct call_specialcolumns {
  handle_t handle;
  DDSpecialColumns* arg;
};
struct call_statistics {
  handle_t handle;
  DDStatistics* arg;
};
struct call_tableprivileges {
  handle_t handle;
  DDTablePrivileges* arg;
};
struct call_tables {
  handle_t handle;
  DDTables* arg;
};
struct call_typeinfo {
  handle_t handle;
  sgn16 arg;
};

// Distributed transactions.
struct call_xaclose {
  handle_t hConn;
  String xaInfo;
  sgn32 rmId;
  sgn32 flags;
};
struct call_xa {  // commit, end, forget, prepare, rollback, start
  handle_t hConn;
  XID_t* xId;
  sgn32 rmId;
  sgn32 flags;
};
typedef call_xa call_xacommit;
typedef call_xa call_xaend;
typedef call_xa call_xaforget;
typedef call_xa call_xaprepare;
typedef call_xa call_xarollback;
typedef call_xa call_xastart;
struct call_xacomplete {
  handle_t hConn;
  sgn32* hTmAsyncFunc;
  sgn32 rmId;
  sgn32 flags;
};
struct call_xaopen {
  handle_t hConn;
  int bUseProxying;
  String xaInfo;
  sgn32 rmId;
  sgn32 flags;
};
struct call_xarecover {
  handle_t hConn;
  sgn32 count;
  sgn32 rmId;
  sgn32 flags;
};
