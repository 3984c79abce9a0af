// Keysets over the real backend (through the interposer): the analysis a
// prepare leaves in the cursor's state, the keyset read at execute, the
// keys read back, and counts of the catalog calls the key sources make.
#pragma once

#include <strings.h>

#include "cursors/ds_cache.h"
#include "cursors/engine_session.h"
#include "cursors/keyset.h"

namespace engine_test {

inline Interposer* g_keysetIp = nullptr;

template <auto Member, typename A>
errcode_t CountedCatalog(const char* op, handle_t h, A* a) {
  g_keysetIp->counts[op]++;
  g_keysetIp->calls.push_back(op);
  return (odbc_ops.*Member)(h, a);
}
inline errcode_t CountedSpCols(handle_t h, DDSpecialColumns* a) {
  return CountedCatalog<&drv_ops::ddSpecialColumns>("ddSpecialColumns", h, a);
}
inline errcode_t CountedStats(handle_t h, DDStatistics* a) {
  return CountedCatalog<&drv_ops::ddStatistics>("ddStatistics", h, a);
}
inline errcode_t CountedPKeys(handle_t h, DDPrimaryKeys* a) {
  return CountedCatalog<&drv_ops::ddPrimaryKeys>("ddPrimaryKeys", h, a);
}

class KeysetSession : public EngineSession {
 protected:
  void SetUp() override {
    EngineSession::SetUp();
    g_keysetIp = &ip;
    ip.ops.ddSpecialColumns = CountedSpCols;
    ip.ops.ddStatistics = CountedStats;
    ip.ops.ddPrimaryKeys = CountedPKeys;
  }
  void TearDown() override {
    EngineSession::TearDown();
    g_keysetIp = nullptr;
  }

  static TSCCL* State(handle_t h) { return &ODBC_CursorRec(h)->st_sccl; }

  static std::string Bare(const char* s) {
    std::string t = s ? s : "";
    if (t.size() >= 2 && t.front() == '"' && t.back() == '"') t = t.substr(1, t.size() - 2);
    return t;
  }

  // What the prepare-time analysis leaves for a keyset-driven SELECT.
  static errcode_t Analyse(handle_t h, const std::string& sql) {
    TSCCL* s = State(h);
    errcode_t rc = scs_p_AuxCursorOpen(s);
    if (rc != ER_SUCCESS) return rc;
    free(s->pszSQL);
    s->pszSQL = strdup(sql.c_str());
    s->f_state = uns16(s->f_state & ~(SCCL_ORDER_BY_KEYS | SCCL_ROWSET_SELECT));
    s->f_stateAux2 = 0;
    if ((rc = SCR_AnalyseSQL(&s->Rqst, sql.c_str(), 0, SCR_DROP_QUALIFIER)) != ER_SUCCESS) return rc;
    alist_Dealloc(&s->pLS_RefdTables, TableDescDestroy);
    alist_Dealloc(&s->pLS_OrdrCols, nullptr);
    s->pLS_RefdTables = alist_Alloc(sizeof(TableDesc));
    if ((rc = SCR_TablesGet(&s->Rqst, s->pLS_RefdTables, SCR_DROP_QUALIFIER)) != ER_SUCCESS) return rc;
    rc = scs_p_GetTblAttribs(s, static_cast<TableDesc*>(s->pLS_RefdTables->rElemnts),
                             s->pLS_RefdTables->cUsed);
    if (rc != ER_SUCCESS) return rc;
    if (s->Rqst.flags & SCR_F_ORDER_BY) {
      s->pLS_OrdrCols = alist_Alloc(sizeof(SCOrdrColDesc));
      if ((rc = SCR_OrderingColsGet(&s->Rqst, s->pLS_OrdrCols)) != ER_SUCCESS) return rc;
    }
    KS_Close(s->pKeySet);
    if ((rc = KS_GetKeyColDescs(s, s->pLS_RefdTables)) != ER_SUCCESS) return rc;
    alist_t* keys = s->pKeySet->pLS_KeyCols;
    for (unsigned i = 0; s->pLS_OrdrCols && i < s->pLS_OrdrCols->cUsed; i++) {
      auto* o = static_cast<SCOrdrColDesc*>(alist_At(s->pLS_OrdrCols, i));
      for (unsigned k = 0; k < keys->cUsed; k++) {
        auto* d = static_cast<SCColDesc*>(alist_At(keys, k));
        if (strcasecmp(Bare(d->col_name).c_str(), Bare(o->col_name).c_str()) != 0) continue;
        if (o->tbl_name[0] && strcasecmp(Bare(o->tbl_name).c_str(), Bare(d->tbl_alias).c_str()) != 0 &&
            strcasecmp(Bare(o->tbl_name).c_str(), Bare(d->tbl_name).c_str()) != 0)
          continue;
        d->iOrdrBy = uns8(i + 1);
        break;
      }
    }
    return ER_SUCCESS;
  }
  // The backend's prepare and the key steps of the analysis, without the engine's own.
  errcode_t PrepareKeyset(handle_t h, const std::string& sql) {
    errcode_t rc = ip.ops.prepare(h, const_cast<char*>(sql.c_str()));
    return rc == ER_SUCCESS ? Analyse(h, sql) : rc;
  }
  // What an execute of a keyset-driven SELECT does: the keyset, then the client's statement.
  errcode_t ExecuteKeyset(handle_t h) {
    errcode_t rc = KS_GetKeySet_KSD(State(h));
    return rc == ER_SUCCESS ? ip.ops.execute(h) : rc;
  }
  static std::vector<std::string> KeyNames(handle_t h) {
    std::vector<std::string> out;
    alist_t* keys = State(h)->pKeySet->pLS_KeyCols;
    for (unsigned k = 0; keys && k < keys->cUsed; k++) {
      auto* d = static_cast<SCColDesc*>(alist_At(keys, k));
      out.push_back(std::string(d->tbl_alias[0] ? std::string(d->tbl_alias) + "." : "") + d->col_name);
    }
    return out;
  }
  // Every key row of the keyset, its cells joined by "|".
  static std::vector<std::string> KeysetRows(handle_t h) {
    KeySet* ks = State(h)->pKeySet;
    std::vector<std::string> out;
    const sgn32 n = State(h)->RsltSetSize;
    for (sgn32 r = 0; r < n; r++) {
      if (DSC_SyncWindowPos(&ks->KSC, r, 1, &ks->Position, ks->pDataset) != ER_SUCCESS) break;
      const sgn32 at = r - (ks->Position > 0 ? ks->Position : 0);
      if (at < 0 || at >= ks->pDataset->nRows) break;
      std::string row;
      for (uns16 c = 0; c < ks->pDataset->nCols; c++) row += (c ? "|" : "") + CellText(*ks->pDataset, c, at);
      out.push_back(row);
    }
    return out;
  }
  int CatalogCalls() {
    int n = 0;
    for (const char* op : {"ddSpecialColumns", "ddStatistics", "ddPrimaryKeys", "ddColumns"})
      n += ip.counts[op];
    return n;
  }
  static std::vector<std::string> Column(const std::vector<std::vector<std::string>>& rows, size_t c = 0) {
    std::vector<std::string> out;
    for (const auto& r : rows) out.push_back(r[c]);
    return out;
  }
};

}  // namespace engine_test
