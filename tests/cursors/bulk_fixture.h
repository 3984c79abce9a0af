// Bulk operations through the engine's table for the bulk tests: one call
// with its answer as text (status per bookmark, rowset rows) and the update
// values of one text column.
#pragma once

#include <string>
#include <vector>

#include "cursors/bulk.h"
#include "cursors/fetch_fixture.h"
#include "fixtures/support/param_rows.h"

namespace engine_test {

struct BulkAnswer {
  errcode_t rc = ER_SUCCESS;
  uns16 affected = 0;
  std::vector<int> status;
  std::vector<std::string> rows;  // fetch: the rowset's rows
  std::vector<int> rsStatus;      // fetch: the rowset's statuses
  bool hasStatus = false;
};

class BulkSession : public FetchSession {
 protected:
  // The call takes over values and the column numbers, as the service does.
  BulkAnswer Bulk(handle_t h, uns16 op, std::vector<bookmark_t> bm, Dataset* values = nullptr,
                  std::vector<uns16> cols = {}) {
    BulkAnswer a;
    uns16* st = nullptr;
    PRSET rs = nullptr;
    uns16* rgiCol = nullptr;
    if (!cols.empty()) {
      rgiCol = static_cast<uns16*>(malloc(cols.size() * sizeof(uns16)));
      std::copy(cols.begin(), cols.end(), rgiCol);
    }
    a.rc = engine.ops().bulkOperations(h, op, bm.empty() ? nullptr : bm.data(), uns16(bm.size()), values,
                                       rgiCol, uns16(cols.size()), &st, &a.affected, &rs);
    a.hasStatus = st != nullptr;
    for (size_t i = 0; st && i < bm.size(); i++) a.status.push_back(st[i]);
    free(st);
    if (rs) {
      a.rows = RowsText(rs->pDataset);
      for (int i = 0; i < rs->RSSize; i++) a.rsStatus.push_back(rs->rgfRowStatus[i]);
      RS_Destroy(&rs);
    }
    return a;
  }
  static Dataset* Texts(const std::vector<std::string>& vals) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& v : vals) rows.push_back({v});
    return test_support::ParamRows({{CTYPE_CHR, 20}}, rows);
  }
  // The rows of a query, cells joined by '|'.
  std::vector<std::string> TableRows(handle_t conn, const std::string& sql) {
    std::vector<std::string> out;
    for (auto& r : Query(conn, sql)) {
      std::string row;
      for (size_t c = 0; c < r.size(); c++) row += (c ? "|" : "") + r[c];
      out.push_back(row);
    }
    return out;
  }
};

}  // namespace engine_test
