// Row versions of dynamic cursors (rvc.h): the second connection of each
// cursor that keeps them, the statements on the table VYRRVC, the digests of
// key and value rows, and the move of the link's diagnostics to the client.
#include "cursors/rvc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "cursors/engine_diagnostics.h"
#include "cursors/inner.h"
#include "cursors/keyset_store.h"
#include "cursors/saved_connects.h"
#include "model/dataset_util.h"
#include "model/drv_param_codes.h"
#include "util/fault.h"
#include "util/log.h"
#include "util/md5.h"

namespace {

constexpr uns32 kDigestBytes = 16;
constexpr uns32 kVersionDigits = 32;
constexpr precision_t kParamWidth = 36;  // a 2-byte length and the 32 digits, with room

// What a version statement needs of the link, read under the lock.
struct Link {
  DRV* pDrv = nullptr;
  int bNeedBind = 0;
  handle_t hConnRVC = 0;
  handle_t hCursRVC = 0;
};

// The cursor's record in its context's list, or null (call under the lock).
RVCConn* FindConn(const TRVC* me) {
  if (!me->pParent || !me->hCursRVC) return nullptr;
  for (RVCConn* c = me->pParent->pRVCFirstConn; c; c = c->pNext)
    if (c->hCursRVC == me->hCursRVC) return c;
  return nullptr;
}

bool LinkOf(const TRVC* me, Link* out) {
  if (!me || !me->pParent) return false;
  std::lock_guard lock(scs_p_Spl2());
  RVCConn* c = FindConn(me);
  if (!c || !me->pParent->pDrv || !me->pParent->pDrv->ops) return false;
  *out = Link{me->pParent->pDrv, me->pParent->bNeedBind, c->hConnRVC, c->hCursRVC};
  return true;
}

void FreeConn(RVCConn* c) {
  if (!c) return;
  free(c->pszDBName);
  free(c);
}

// Frees the context once no link is left (call under the lock).
void ReleaseIfEmpty(RVCCxt_t* cxt) {
  if (!cxt || cxt->pRVCFirstConn) return;
  if (cxt->pServer && cxt->pServer->RVCCxt == cxt) cxt->pServer->RVCCxt = nullptr;
  free(cxt);
}

// Unlinks c from its context's list (call under the lock).
void Unlink(RVCCxt_t* cxt, RVCConn* c) {
  for (RVCConn** link = &cxt->pRVCFirstConn; *link; link = &(*link)->pNext) {
    if (*link == c) {
      *link = c->pNext;
      c->pNext = nullptr;
      return;
    }
  }
}

void ClearLink(TRVC* me) {
  me->pParent = nullptr;
  me->hConn = me->hCurs = me->hCursRVC = 0;
}

std::string Hex8(handle_t h) {
  char b[16];
  snprintf(b, sizeof b, "%08lX", static_cast<unsigned long>(h));
  return b;
}

std::string ReadSql(const TRVC* me) {
  return "SELECT ROWVER FROM VYRRVC WHERE HCONN = '" + Hex8(me->hConn) + "' AND HCURS = '" + Hex8(me->hCurs) +
         "' AND KEYVER = ?";
}
std::string InsertSql(const TRVC* me) {
  return "INSERT INTO VYRRVC VALUES ( '" + Hex8(me->hConn) + "', '" + Hex8(me->hCurs) + "', ?, ?)";
}
std::string UpdateSql(const TRVC* me) {
  return "UPDATE VYRRVC SET ROWVER = ? WHERE HCONN = '" + Hex8(me->hConn) + "' AND HCURS = '" +
         Hex8(me->hCurs) + "' AND KEYVER = ?";
}
std::string FlushSql(const TRVC* me) {
  return "DELETE FROM VYRRVC WHERE HCONN = '" + Hex8(me->hConn) + "' AND HCURS = '" + Hex8(me->hCurs) + "'";
}

errcode_t Prepare(const Link& l, const std::string& sql) {
  return SCs_Inner(l.pDrv).prepare(l.hCursRVC, const_cast<char*>(sql.c_str()));
}

// One row of nCols version cells, each CTYPE_VCHR16 of width 36.
struct ParamRow {
  Dataset ds{};
  bool ok = false;
  explicit ParamRow(uns16 nCols) {
    if (Dataset_Init(&ds, nCols) != ER_SUCCESS) return;
    ds.nCols = nCols;
    for (uns16 c = 0; c < nCols; c++) {
      ds.col[c].cType = CTYPE_VCHR16;
      ds.col[c].width = kParamWidth;
    }
    if (Dataset_AllocColumns(&ds, 1) != ER_SUCCESS) return;
    ds.nRows = 1;
    ok = true;
  }
  ~ParamRow() { Dataset_Done(&ds); }
  void Put(uns16 col, const uns8 digest[16]) {
    char text[kVersionDigits + 1];
    Binary2Char(digest, text);
    char* cell = Coldata_Cell(&ds.col[col], 0);
    memset(cell, 0, kParamWidth);
    uns16 len = kVersionDigits;
    memcpy(cell, &len, 2);
    memcpy(cell + 2, text, kVersionDigits);
    ds.col[col].indicators[0] = 0;
  }
};

// Hands a copy of the row to the statement (the callee owns it), binds when
// the data source wants descriptions, and executes.
errcode_t Run(const Link& l, ParamRow& p) {
  Dataset* copy = nullptr;
  errcode_t rc = Dataset_Copy(&copy, &p.ds);
  if (rc != ER_SUCCESS) return rc;
  rc = SCs_Inner(l.pDrv).parameters(l.hCursRVC, copy);
  if (rc != ER_SUCCESS) return rc;
  if (l.bNeedBind) {
    Bindesc desc[2];
    for (Bindesc& d : desc) d = Bindesc{SQLTYPE_CHAR, CTYPE_CHR, kVersionDigits, 0, 1};
    rc = SCs_Inner(l.pDrv).bind(l.hCursRVC, p.ds.nCols, desc);
    if (rc != ER_SUCCESS) return rc;
  }
  return SCs_Inner(l.pDrv).execute(l.hCursRVC);
}

// True when the fetched version cell holds the 32 digits of text; a NULL or
// short cell (or one of another kind) never matches, and nothing is read
// beyond the cell's own value.
bool SameVersion(const Coldata* col, const char* text) {
  const char* data;
  uint64_t len;
  if (!Dataset_CellValue(col, 0, &data, &len) || !data) return false;
  const bool wide = col->cType == CTYPE_WCHR || col->cType == CTYPE_WVCHR || col->cType == CTYPE_WVCHR32 ||
                    col->cType == CTYPE_WLCHR;
  const uint64_t unit = wide ? 4 : 1;
  if (len / unit < kVersionDigits) return false;
  for (uns32 i = 0; i < kVersionDigits; i++) {
    uns32 ch;
    if (wide) {
      memcpy(&ch, data + uint64_t(i) * 4, 4);
    } else {
      ch = static_cast<unsigned char>(data[i]);
    }
    if (ch != static_cast<unsigned char>(text[i])) return false;
  }
  return true;
}

// Ends a half-made link's cursor and connection (outside the lock).
void EndMade(DRV* d, handle_t hConn, handle_t hCurs) {
  if (hCurs) SCs_Inner(d).endCursor(hCurs);
  if (hConn) SCs_Inner(d).endConnect(hConn);
}

}  // namespace

void Binary2Char(const uns8 bin[16], char text[33]) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (uns32 i = 0; i < kDigestBytes; i++) {
    text[2 * i] = kDigits[bin[i] >> 4];
    text[2 * i + 1] = kDigits[bin[i] & 0xF];
  }
  text[2 * kDigestBytes] = 0;
}

errcode_t RVC_CalcChkSum(Dataset* pDS, uns32 iRow, uns8 digest[16]) {
  if (!pDS || !digest || pDS->nRows < 0 || iRow >= uns32(pDS->nRows) || (pDS->nCols && !pDS->col))
    return ER_GENERAL_ERROR;
  uint64_t total = 0;
  for (uns16 c = 0; c < pDS->nCols; c++)
    if (!ctype_is_long(pDS->col[c].cType)) total += pDS->col[c].width;
  // MD5 takes a 32-bit length.
  if (total > 0xFFFFFFFFull || vyr_fault_alloc()) return ER_NO_MEMORY;
  uns8* buf = static_cast<uns8*>(calloc(total ? size_t(total) : 1, 1));
  if (!buf) return ER_NO_MEMORY;
  uint64_t off = 0;
  for (uns16 c = 0; c < pDS->nCols; c++) {
    if (ctype_is_long(pDS->col[c].cType)) continue;
    uns32 cb = uns32(total - off);
    errcode_t rc = Dataset_CellGetChunk(pDS, iRow, c, reinterpret_cast<char*>(buf) + off, &cb);
    if (rc != ER_SUCCESS) {
      free(buf);
      return rc;
    }
    off += cb;
  }
  MD5_CTX ctx;
  VYR_MD5Init(&ctx);
  VYR_MD5Update(&ctx, buf, static_cast<unsigned int>(total));
  VYR_MD5Final(digest, &ctx);
  free(buf);
  return ER_SUCCESS;
}

errcode_t RVC_Init(TRVC* me, DRV* pDrv, handle_t hConn, handle_t hCurs, int bNeedBind) {
  if (!me || !pDrv || !pDrv->ops) return ER_GENERAL_ERROR;
  // Every prepare that asks makes a new link: the one before goes first.
  if (me->pParent) RVC_Done(me);
  ClearLink(me);
  _Connect* conn = ODBC_ConnectRec(hConn);
  _Server* s = conn ? (conn->pServ ? conn->pServ : ODBC_ServerRec(conn->hServer)) : nullptr;
  if (!s) return ER_GENERAL_ERROR;
  const handle_t hServer = conn->hServer ? conn->hServer : ghServer.load();

  // The saved request is the connection's own (it goes only when the
  // connection ends, which this session's call excludes): the second
  // connection is opened without the lock, which other sessions' links need.
  CONNINFO* saved = SCs_ConnInfoFind(s, hConn);
  if (!saved || !saved->pConnect) return ER_GENERAL_ERROR;
  // What the link needs is had before the connection is made.
  auto newContext = [] {
    return vyr_fault_alloc() ? nullptr : static_cast<RVCCxt_t*>(calloc(1, sizeof(RVCCxt_t)));
  };
  RVCCxt_t* spare = nullptr;
  {
    std::lock_guard lock(scs_p_Spl2());
    if (!s->RVCCxt && !(spare = newContext())) return ER_NO_MEMORY;
  }
  RVCConn* rc = vyr_fault_alloc() ? nullptr : static_cast<RVCConn*>(calloc(1, sizeof(RVCConn)));
  if (rc && saved->pConnect->dbPath && !(rc->pszDBName = strdup(saved->pConnect->dbPath))) {
    free(rc);
    rc = nullptr;
  }
  if (!rc) {
    free(spare);
    return ER_NO_MEMORY;
  }
  errcode_t e = SCs_Inner(pDrv).connect(hServer, saved->pConnect, &rc->hConnRVC);
  // The versions must reach the table whatever the agent's commit mode is.
  sgn32 on = 1;
  if (e == ER_SUCCESS) e = SCs_Inner(pDrv).setDrvParameter(rc->hConnRVC, DRVP_CONN_AUTOCOMMIT, &on);
  if (e == ER_SUCCESS) e = SCs_Inner(pDrv).cursor(rc->hConnRVC, &rc->hCursRVC);
  RVCCxt_t* cxt = nullptr;
  if (e == ER_SUCCESS) {
    std::lock_guard lock(scs_p_Spl2());
    cxt = static_cast<RVCCxt_t*>(s->RVCCxt);
    if (!cxt) {
      // Another session's last link may have taken the context meanwhile.
      cxt = spare ? spare : newContext();
      spare = nullptr;
      if (cxt) {
        cxt->pServer = s;
        s->RVCCxt = cxt;
      }
    }
    free(spare);
    spare = nullptr;
    if (cxt) {
      rc->cUsage = 1;
      rc->hCursOwner = hCurs;
      if (!cxt->pRVCFirstConn) {
        cxt->pDrv = pDrv;
        cxt->bNeedBind = bNeedBind;
      }
      RVCConn** tail = &cxt->pRVCFirstConn;
      while (*tail) tail = &(*tail)->pNext;
      *tail = rc;
      me->pParent = cxt;
      me->hConn = hConn;
      me->hCurs = hCurs;
      me->hCursRVC = rc->hCursRVC;
      return ER_SUCCESS;
    }
    e = ER_NO_MEMORY;
  }
  free(spare);
  const handle_t hConnRVC = rc->hConnRVC, hCursRVC = rc->hCursRVC;
  FreeConn(rc);
  logit(LOG_ERR, nullptr, 0, "row versions: no second connection (error %d)", int(e));
  EndMade(pDrv, hConnRVC, hCursRVC);
  return e;
}

errcode_t RVC_Flush(TRVC* me) {
  if (!me || !me->pParent) return ER_SUCCESS;
  Link l;
  if (!LinkOf(me, &l)) return ER_GENERAL_ERROR;
  errcode_t rc = Prepare(l, FlushSql(me));
  if (rc == ER_SUCCESS) rc = SCs_Inner(l.pDrv).execute(l.hCursRVC);
  if (rc == ER_SUCCESS) return rc;
  _Cursor* client = ODBC_CursorRec(me->hCurs);
  StackErrorMsgs(me->hCurs, 1);
  rvc_xferErrMsgs(me);
  if (client) SetVYRErrorMsg(&client->pendingError, ER_CHK_VYRRVC_TBL);
  StackErrorMsgs(me->hCurs, 0);
  return rc;
}

errcode_t RVC_UpdateRows(TRVC* me, const uns8* rgKeyDigests, const uns8* rgRowDigests, uns16* rgfRowStatus,
                         uns32 nRows) {
  if (!rgKeyDigests || !rgRowDigests || !rgfRowStatus) return ER_GENERAL_ERROR;
  Link l;
  if (!LinkOf(me, &l)) return ER_GENERAL_ERROR;
  ParamRow p(2);
  if (!p.ok) return ER_NO_MEMORY;
  errcode_t rc = Prepare(l, UpdateSql(me));
  if (rc != ER_SUCCESS) return rc;
  for (uns32 r = 0; r < nRows; r++) {
    if (rgfRowStatus[r] != SQL_ROW_UPDATED) continue;
    p.Put(0, rgRowDigests + uint64_t(r) * kDigestBytes);
    p.Put(1, rgKeyDigests + uint64_t(r) * kDigestBytes);
    rc = Run(l, p);
    sgn32 count = 0;
    uns16 len = 0;
    if (rc == ER_SUCCESS)
      rc = SCs_Inner(l.pDrv).getDrvParameter(l.hCursRVC, DRVP_STMT_ROW_COUNT, &count, 4, &len);
    if (rc != ER_SUCCESS || count < 1) rgfRowStatus[r] = SQL_ROW_ERROR;
  }
  return rc;
}

errcode_t RVC_Write(TRVC* me, _KeySet* pKeySet, Dataset* pRowSet, uns16* rgfRowStatus) {
  const uns32 n = pRowSet && pRowSet->nRows > 0 ? uns32(pRowSet->nRows) : 0;
  if (n == 0) return ER_SUCCESS;
  if (!pKeySet || !pKeySet->pDataset || !rgfRowStatus) return ER_GENERAL_ERROR;
  Link l;
  if (!LinkOf(me, &l)) return ER_GENERAL_ERROR;
  ParamRow key(1), both(2);
  const size_t bytes = size_t(n) * kDigestBytes;
  std::unique_ptr<uns8[]> keys(vyr_fault_alloc() ? nullptr : new (std::nothrow) uns8[bytes]);
  std::unique_ptr<uns8[]> rows(vyr_fault_alloc() ? nullptr : new (std::nothrow) uns8[bytes]);
  if (!key.ok || !both.ok || !keys || !rows) return ER_NO_MEMORY;

  bool updated = false, added = false;
  errcode_t rc = Prepare(l, ReadSql(me));
  for (uns32 r = 0; rc == ER_SUCCESS && r < n; r++) {
    uns8* kd = &keys[size_t(r) * kDigestBytes];
    uns8* rd = &rows[size_t(r) * kDigestBytes];
    rc = RVC_CalcChkSum(pKeySet->pDataset, r, kd);
    if (rc == ER_SUCCESS) rc = RVC_CalcChkSum(pRowSet, r, rd);
    if (rc != ER_SUCCESS) break;
    key.Put(0, kd);
    rc = Run(l, key);
    if (rc != ER_SUCCESS) break;
    Dataset got{};
    rc = SCs_Inner(l.pDrv).fetch(l.hCursRVC, 2, &got);
    if (rc == ER_SUCCESS) {
      if (got.nRows >= 2) {
        rc = ER_GENERAL_ERROR;
      } else if (got.nRows == 1 && got.nCols >= 1 && got.col) {
        char text[kVersionDigits + 1];
        Binary2Char(rd, text);
        const bool same = SameVersion(&got.col[0], text);
        rgfRowStatus[r] = same ? SQL_ROW_SUCCESS : SQL_ROW_UPDATED;
        updated = updated || !same;
      } else {
        rgfRowStatus[r] = SQL_ROW_ADDED;
        added = true;
      }
    }
    Dataset_Done(&got);
  }
  // An open result would keep a file database's read lock on the table.
  SCs_Inner(l.pDrv).close(l.hCursRVC);

  if (rc == ER_SUCCESS && updated) rc = RVC_UpdateRows(me, keys.get(), rows.get(), rgfRowStatus, n);
  if (rc == ER_SUCCESS && added) {
    rc = Prepare(l, InsertSql(me));
    for (uns32 r = 0; rc == ER_SUCCESS && r < n; r++) {
      if (rgfRowStatus[r] != SQL_ROW_ADDED) continue;
      rgfRowStatus[r] = SQL_ROW_ERROR;
      both.Put(0, &keys[size_t(r) * kDigestBytes]);
      both.Put(1, &rows[size_t(r) * kDigestBytes]);
      rc = Run(l, both);
      if (rc == ER_SUCCESS) rgfRowStatus[r] = SQL_ROW_SUCCESS;
    }
  }
  if (rc != ER_SUCCESS) rvc_xferErrMsgs(me);
  return rc;
}

void rvc_xferErrMsgs(TRVC* me) {
  if (!me || !me->pParent) return;
  std::lock_guard lock(scs_p_Spl2());
  RVCConn* c = FindConn(me);
  _Cursor* client = ODBC_CursorRec(me->hCurs);
  if (!c || !client) return;
  if (_Cursor* k = ODBC_CursorRec(c->hCursRVC))
    AppendAuxCursorErrors(&client->pendingError, &k->pendingError);
  if (_Connect* k = ODBC_ConnectRec(c->hConnRVC))
    AppendAuxCursorErrors(&client->pendingError, &k->pendingError);
}

errcode_t RVC_Done(TRVC* me) {
  if (!me) return ER_SUCCESS;
  RVCCxt_t* cxt = me->pParent;
  RVCConn* gone = nullptr;
  DRV* d = nullptr;
  {
    std::lock_guard lock(scs_p_Spl2());
    RVCConn* c = cxt ? FindConn(me) : nullptr;
    if (c && --c->cUsage <= 0) {
      Unlink(cxt, c);
      gone = c;
      d = cxt->pDrv;
      ReleaseIfEmpty(cxt);
    }
  }
  ClearLink(me);
  if (gone && d && d->ops) EndMade(d, gone->hConnRVC, gone->hCursRVC);
  FreeConn(gone);
  return ER_SUCCESS;
}

void RVC_ConnectionEnded(_Server* s, handle_t hConn) {
  if (!s || !hConn) return;
  std::lock_guard lock(scs_p_Spl2());
  RVCCxt_t* cxt = static_cast<RVCCxt_t*>(s->RVCCxt);
  if (!cxt) return;
  for (RVCConn* c = cxt->pRVCFirstConn; c; c = c->pNext) {
    if (c->hConnRVC != hConn) continue;
    // The second connection ended under its cursor: the cursor's state must
    // not keep handles that a new connection or cursor may take over.
    _Cursor* owner = ODBC_CursorRec(c->hCursOwner);
    if (owner && owner->st_sccl.RVC.pParent == cxt && owner->st_sccl.RVC.hCursRVC == c->hCursRVC)
      ClearLink(&owner->st_sccl.RVC);
    Unlink(cxt, c);
    FreeConn(c);
    ReleaseIfEmpty(cxt);
    return;
  }
}

void RVC_ServerDone(_Server* s) {
  if (!s) return;
  std::lock_guard lock(scs_p_Spl2());
  RVCCxt_t* cxt = static_cast<RVCCxt_t*>(s->RVCCxt);
  if (!cxt) return;
  while (RVCConn* c = cxt->pRVCFirstConn) {
    cxt->pRVCFirstConn = c->pNext;
    FreeConn(c);
  }
  ReleaseIfEmpty(cxt);
}
