// Release of statement records and their conversion buffers. Disconnect and driver release
// need it before statement allocation exists; statement allocation and SQLFreeStmt build on
// it.

#include <cstdlib>

#include "dm/dm_internal.h"
#include "dm/stmt_internal.h"
#include "sql.h"

void _zolandm_stmt_free_tmpbufs(zolandm_stmt* stmt) {
  for (zolandm_tmpbuf& buf : stmt->tmpbuf) {
    std::free(buf.data);
    buf.data = nullptr;
    buf.size = 0;
  }
  stmt->tmpbuf_in_use = 0;
}

int _zolandm_stmt_release(zolandm_stmt* stmt) {
  if (stmt == nullptr || stmt->handle_type != ZOLANDM_STMT || stmt->dbc == nullptr) return -2;
  _zolandm_diag_clear(stmt);
  zolandm_stmt** link = &stmt->dbc->stmts;
  while (*link != nullptr && *link != stmt) link = &(*link)->next;
  if (*link == nullptr) return -2;
  *link = stmt->next;

  if (stmt->row_status_owned == 1) std::free(stmt->row_status_ptr);
  for (zolandm_desc*& desc : stmt->imp_desc) {
    if (desc == nullptr) continue;
    _zolandm_diag_clear(desc);
    desc->handle_type = 0;
    std::free(desc);
    desc = nullptr;
  }
  if (stmt->tmpbuf_in_use) _zolandm_stmt_free_tmpbufs(stmt);
  // Slots may hold buffers even when not marked in use (kept for reuse within a call).
  for (zolandm_tmpbuf& buf : stmt->tmpbuf) std::free(buf.data);
  while (stmt->wide_cols != nullptr) {
    zolandm_boundcol* next = stmt->wide_cols->next;
    std::free(stmt->wide_cols);
    stmt->wide_cols = next;
  }
  _zolandm_stmt_free_paramtab(stmt);  // with the narrow copies of wide parameters
  stmt->handle_type = 0;
  std::free(stmt);
  return 0;
}

void _zolandm_dbc_release_stmts(zolandm_dbc* dbc) {
  while (dbc->stmts != nullptr) {
    if (_zolandm_stmt_release(dbc->stmts) != 0) {
      // Not a statement we can release (should not happen): unlink it so the loop ends.
      dbc->stmts = dbc->stmts->next;
    }
  }
}
