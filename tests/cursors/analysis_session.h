// Prepare-time analysis over the real backend: cursors with the client's
// options set through the backend, the prepare step (backend prepare, then the
// analysis), the statement the driver holds, and the texts a type switch logs.
#pragma once

#include <map>

#include "cursors/analysis.h"
#include "cursors/engine_session.h"
#include "fixtures/support/log_capture.h"

namespace engine_test {

inline const char* const kToStatic = "scs_p_ChangeCursorType: Switched to static cursor";
inline const char* const kToReadOnly = "scs_p_ChangeCursorType: Switched to read-only concurrency";

class AnalysisSession : public EngineSession {
 protected:
  handle_t hConn = 0;
  // A client that fetches with the extended rowset calls may ask for dynamic cursors.
  void AllowDynamic() {
    sgn32 v = 0;
    ASSERT_EQ(engine.ops().getDrvParameter(hConn, DRVP_CONN_XFETCH2, &v, 4, nullptr), ER_SUCCESS);
  }
  TSCCL* State(handle_t h) { return &ODBC_CursorRec(h)->st_sccl; }
  // A cursor with the client's options set through the backend, as the client does.
  handle_t Cursor(sgn32 type, sgn32 conc, sgn32 ksSize = 0, sgn32 parse = 0, sgn32 append = 0) {
    handle_t h = NewCursor(hConn);
    drv_ops& inner = *SCs_InnerDRV()->ops;
    if (type) {
      EXPECT_EQ(inner.setDrvParameter(h, DRVP_STMT_CURSOR_TYPE, &type), ER_SUCCESS);
    }
    if (conc != 1) {
      EXPECT_EQ(inner.setDrvParameter(h, DRVP_STMT_CONCURRENCY, &conc), ER_SUCCESS);
    }
    if (ksSize) {
      EXPECT_EQ(inner.setDrvParameter(h, DRVP_STMT_KEYSET_SIZE, &ksSize), ER_SUCCESS);
    }
    if (parse) {
      EXPECT_EQ(inner.setDrvParameter(h, DRVP_STMT_PARSE_FORWARD_ONLY, &parse), ER_SUCCESS);
    }
    if (append) {
      EXPECT_EQ(inner.setDrvParameter(h, DRVP_STMT_SELECT_APPEND_KEYS, &append), ER_SUCCESS);
    }
    EXPECT_EQ(State(h)->CursType, type);
    EXPECT_EQ(State(h)->ConcType, conc);
    return h;
  }
  // The prepare step: the backend's prepare, then the analysis. A statement
  // the driver refuses still reaches the analysis here, so that the
  // analysis's own refusals are seen.
  errcode_t Prepare(handle_t h, const std::string& sql) {
    SCs_InnerDRV()->ops->prepare(h, const_cast<char*>(sql.c_str()));
    return scs_p_Prepare(State(h), sql.c_str());
  }
  // The column attributes 1053 and 1055 as the backend answers them: per
  // column k (a key column), e (an expression) or -.
  std::string KeyExprAttrs(handle_t h) {
    uns16 nCols = 0, nAttribs = 0;
    Coldesc* desc = nullptr;
    ColAttrib* attrs = nullptr;
    errcode_t rc = engine.ops().colAttributes(h, &nCols, &nAttribs, &desc, &attrs);
    if (rc != ER_SUCCESS) return "error " + std::to_string(rc);
    std::string out(nCols, '-');
    for (uns16 i = 0; i < nAttribs; i++) {
      const ColAttrib& a = attrs[i];
      if (a.col == 0 || a.col > nCols || a.attribVal.u.l == 0) continue;
      if (a.attribId == 1053) out[a.col - 1] = out[a.col - 1] == '-' ? 'k' : '?';
      if (a.attribId == 1055) out[a.col - 1] = out[a.col - 1] == '-' ? 'e' : '?';
    }
    FreeColdesc(desc, nCols);
    for (uns16 i = 0; i < nAttribs; i++) ColAttribFree(&attrs[i]);
    free(attrs);
    return out;
  }
  std::string Prepared(handle_t h) {
    const char* s = ODBC_CursorRec(h)->request.original;
    return s ? s : "";
  }
};

constexpr sgn32 FO = 0, KS = 1, DYN = 2, ST = 3;
constexpr sgn32 RO = 1, LOCK = 2, VALUES = 4;

}  // namespace engine_test
