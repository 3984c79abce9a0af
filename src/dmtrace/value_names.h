// Tables of ODBC constant names for the trace decoders: each a list of (value, name) pairs
// with its length, searched linearly (they are short and only read while tracing).
#pragma once

#include <cstddef>

struct zolandm_tr_name {
  long value;
  const char* name;
};

struct zolandm_tr_names {
  const zolandm_tr_name* items;
  size_t count;
};

// The name of `value` in `table`, or null.
const char* _zolandm_tr_lookup(const zolandm_tr_names& table, long value);

extern const zolandm_tr_names _zolandm_tr_colattributes_fields;
extern const zolandm_tr_names _zolandm_tr_colattribute_fields;
extern const zolandm_tr_names _zolandm_tr_desc_fields;
extern const zolandm_tr_names _zolandm_tr_datasource_directions;
extern const zolandm_tr_names _zolandm_tr_fetch_orientations;
extern const zolandm_tr_names _zolandm_tr_freestmt_options;
extern const zolandm_tr_names _zolandm_tr_connect_attrs;
extern const zolandm_tr_names _zolandm_tr_connect_options;
extern const zolandm_tr_names _zolandm_tr_stmt_attrs;
extern const zolandm_tr_names _zolandm_tr_stmt_options;
extern const zolandm_tr_names _zolandm_tr_env_attrs;
extern const zolandm_tr_names _zolandm_tr_diag_fields;
extern const zolandm_tr_names _zolandm_tr_typeinfo_types;
extern const zolandm_tr_names _zolandm_tr_sql_types;
extern const zolandm_tr_names _zolandm_tr_c_types;
extern const zolandm_tr_names _zolandm_tr_param_io_types;
extern const zolandm_tr_names _zolandm_tr_setpos_operations;
extern const zolandm_tr_names _zolandm_tr_setpos_locks;
extern const zolandm_tr_names _zolandm_tr_scroll_concurrencies;
extern const zolandm_tr_names _zolandm_tr_specialcolumns_types;
extern const zolandm_tr_names _zolandm_tr_specialcolumns_scopes;
extern const zolandm_tr_names _zolandm_tr_specialcolumns_nullables;
extern const zolandm_tr_names _zolandm_tr_statistics_uniques;
extern const zolandm_tr_names _zolandm_tr_statistics_accuracies;
extern const zolandm_tr_names _zolandm_tr_completion_types;
extern const zolandm_tr_names _zolandm_tr_driver_completions;
extern const zolandm_tr_names _zolandm_tr_nullables;
extern const zolandm_tr_names _zolandm_tr_searchables;
extern const zolandm_tr_names _zolandm_tr_unnamed;
extern const zolandm_tr_names _zolandm_tr_updatables;
extern const zolandm_tr_names _zolandm_tr_datetime_codes;
extern const zolandm_tr_names _zolandm_tr_interval_codes;
// SQL_API_ names: every id the SQLGetFunctions writer names, and the ODBC 2 ids the result
// walk names (1-24 and 40-73).
extern const zolandm_tr_names _zolandm_tr_function_ids;
extern const zolandm_tr_names _zolandm_tr_odbc2_function_ids;
