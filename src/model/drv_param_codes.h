// Driver-parameter codes: the 32-bit numbers that RPC procedures 1 (get) and 2
// (set) carry, the decoders of their four fields, and a name for every code the
// agent itself answers. Shared by the backend (drv_params.cpp), the service
// procedures, the dispatcher's argument checks and the tools.
//
//   bits 28-31  scope: the kind of handle (server, connection, statement)
//   bits 24-27  kind of value (none, text, 32-bit integer)
//   bits 16-23  class (agent parameter, ODBC option, SQLGetInfo item)
//   bits  0-15  item: the agent parameter, the option or the information type
#pragma once

#include "model/types.h"

enum : unsigned { DRVP_SCOPE_SERVER = 1, DRVP_SCOPE_CONNECT = 2, DRVP_SCOPE_STMT = 3 };
enum : unsigned { DRVP_KIND_NONE = 0, DRVP_KIND_TEXT = 1, DRVP_KIND_INT = 2 };
enum : unsigned { DRVP_CLASS_AGENT = 0x01, DRVP_CLASS_OPTION = 0x03, DRVP_CLASS_INFO = 0x04 };

constexpr unsigned DrvParamScope(uns32 code) { return code >> 28; }
constexpr unsigned DrvParamKind(uns32 code) { return (code >> 24) & 0xF; }
constexpr unsigned DrvParamClass(uns32 code) { return (code >> 16) & 0xFF; }
constexpr unsigned DrvParamItem(uns32 code) { return code & 0xFFFF; }

constexpr uns32 DrvParamCode(unsigned scope, unsigned kind, unsigned cls, unsigned item) {
  return uns32(scope) << 28 | uns32(kind) << 24 | uns32(cls) << 16 | uns32(item);
}

// Server scope.
constexpr uns32 DRVP_SRV_AGENT_NAME = 0x11010000;    // get, text: "odbc"; cursors need it asked first
constexpr uns32 DRVP_SRV_TLS_KEY_FILE = 0x11030001;  // set, text: make the server TLS context from a key file
constexpr uns32 DRVP_SRV_TLS_START = 0x10030002;  // set, none: the connection switches to TLS after the reply

// Connection scope, agent parameters. Items 3, 5, 6, 0xa and 0xe are features a
// client asks about; the agent has each of them.
constexpr uns32 DRVP_CONN_NEED_BIND = 0x22010002;  // bind descriptions go before an execute
constexpr uns32 DRVP_CONN_FEATURE_03 = 0x22010003;
constexpr uns32 DRVP_CONN_PARAM_OP = 0x22010004;  // parameter text cells are NUL-terminated
constexpr uns32 DRVP_CONN_FEATURE_05 = 0x22010005;
constexpr uns32 DRVP_CONN_FEATURE_06 = 0x22010006;
constexpr uns32 DRVP_CONN_LOCK_BY_UPDATE = 0x22010007;  // rows are locked by a self-assigning UPDATE
constexpr uns32 DRVP_CONN_XFETCH2 = 0x22010008;         // get: the client has the second extended fetch
constexpr uns32 DRVP_CONN_FEATURE_0A = 0x2201000a;
constexpr uns32 DRVP_CONN_ROW_VERSIONS = 0x2201000b;  // dynamic cursors keep row versions
constexpr uns32 DRVP_CONN_QUALIFIER = 0x2101000d;     // get, text: the current qualifier
constexpr uns32 DRVP_CONN_FEATURE_0E = 0x2201000e;
constexpr uns32 DRVP_CONN_DEFER_LONG_DATA = 0x2201000f;
constexpr uns32 DRVP_CONN_CAPABILITIES = 0x22010011;     // get: the agent's capability word
constexpr uns32 DRVP_CONN_UNICODE = 0x22010013;          // get: a Unicode session
constexpr uns32 DRVP_CONN_MULTI_STMT_EMUL = 0x22010016;  // several active statements are emulated

// Connection scope, ODBC connection options.
constexpr uns32 DRVP_CONN_AUTOCOMMIT = 0x22030000;
constexpr uns32 DRVP_CONN_ACCESS_MODE = 0x22030001;
constexpr uns32 DRVP_CONN_TXN_ISOLATION = 0x2203006c;
constexpr uns32 DRVP_CONN_SET_QUALIFIER = 0x2103006d;  // set, text: SQL_CURRENT_QUALIFIER

// Connection scope, SQLGetInfo items: the base plus the information type.
constexpr uns32 DRVP_CONN_INFO_TEXT = 0x21040000;
constexpr uns32 DRVP_CONN_INFO_INT = 0x22040000;

// Statement scope. The option items are the ODBC statement option numbers
// (SQL_QUERY_TIMEOUT 0 to SQL_ROW_NUMBER 14); the rest are the agent's own.
constexpr uns32 DRVP_STMT_ROW_COUNT = 0x32010000;
constexpr uns32 DRVP_STMT_QUERY_TIMEOUT = 0x32030000;
constexpr uns32 DRVP_STMT_MAX_ROWS = 0x32030001;
constexpr uns32 DRVP_STMT_NOSCAN = 0x32030002;
constexpr uns32 DRVP_STMT_MAX_LENGTH = 0x32030003;
constexpr uns32 DRVP_STMT_ASYNC_ENABLE = 0x32030004;
constexpr uns32 DRVP_STMT_CURSOR_TYPE = 0x32030006;
constexpr uns32 DRVP_STMT_CONCURRENCY = 0x32030007;
constexpr uns32 DRVP_STMT_KEYSET_SIZE = 0x32030008;
constexpr uns32 DRVP_STMT_ROWSET_SIZE = 0x32030009;
constexpr uns32 DRVP_STMT_SIMULATE_CURSOR = 0x3203000a;
constexpr uns32 DRVP_STMT_RETRIEVE_DATA = 0x3203000b;
constexpr uns32 DRVP_STMT_USE_BOOKMARKS = 0x3203000c;
constexpr uns32 DRVP_STMT_GET_BOOKMARK = 0x3203000d;
constexpr uns32 DRVP_STMT_ROW_NUMBER = 0x3203000e;
constexpr uns32 DRVP_STMT_DESCRIBE_PARAMS = 0x3203000f;     // set: derive the parameter descriptions now
constexpr uns32 DRVP_STMT_CONC_VALUE_EXTENT = 0x3203041a;   // 1 every non-long column, 2 the select list
constexpr uns32 DRVP_STMT_PARSE_FORWARD_ONLY = 0x3203041c;  // analyse forward-only SELECTs too
constexpr uns32 DRVP_STMT_SELECT_APPEND_KEYS = 0x3203041e;  // append key columns to forward-only SELECTs
