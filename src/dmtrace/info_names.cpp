// The names of SQLGetInfo's information types, their value forms, and the names of the
// values of each enumeration and of the bits of each bit mask, as the trace prints them.
// Some names are not the ODBC constants; trace readers know them as they are.

#include "dmtrace/info_names.h"

namespace {

template <size_t N>
constexpr zolandm_tr_name_list names(const char* const (&list)[N], const char* zero = nullptr) {
  return {zero, N, list};
}

// ---- bit masks: the name of bit 0, bit 1, ... -----------------------------------------

const char* const bits_fetch_direction[] = {
    "SQL_FD_FETCH_NEXT",     "SQL_FD_FETCH_FIRST",    "SQL_FD_FETCH_LAST",   "SQL_FD_FETCH_PRIOR",
    "SQL_FD_FETCH_ABSOLUTE", "SQL_FD_FETCH_RELATIVE", "SQL_FD_FETCH_RESUME", "SQL_FD_FETCH_BOOKMARK",
};
const char* const bits_txn[] = {
    "SQL_TXN_READ_UNCOMMITTED", "SQL_TXN_READ_COMMITTED", "SQL_TXN_REPEATABLE_READ",
    "SQL_TXN_SERIALIZABLE",     "SQL_TXN_VERSIONING",
};
const char* const bits_scco[] = {
    "SQL_SCCO_READ_ONLY",
    "SQL_SCCO_LOCK",
    "SQL_SCCO_OPT_ROWVER",
    "SQL_SCCO_OPT_VALUES",
};
const char* const bits_so[] = {
    "SQL_SO_FORWARD_ONLY", "SQL_SO_KEYSET_DRIVEN", "SQL_SO_DYNAMIC", "SQL_SO_MIXED", "SQL_SO_STATIC",
};
const char* const bits_fn_cvt[] = {
    "SQL_FN_CVT_CONVERT",
    "SQL_FN_CVT_CAST",
};
const char* const bits_fn_num[] = {
    "SQL_FN_NUM_ABS",     "SQL_FN_NUM_ACOS",    "SQL_FN_NUM_ASIN",  "SQL_FN_NUM_ATAN",     "SQL_FN_NUM_ATAN2",
    "SQL_FN_NUM_CEILING", "SQL_FN_NUM_COS",     "SQL_FN_NUM_COT",   "SQL_FN_NUM_EXP",      "SQL_FN_NUM_FLOOR",
    "SQL_FN_NUM_LOG",     "SQL_FN_NUM_MOD",     "SQL_FN_NUM_SIGN",  "SQL_FN_NUM_SIN",      "SQL_FN_NUM_SQRT",
    "SQL_FN_NUM_TAN",     "SQL_FN_NUM_PI",      "SQL_FN_NUM_RAND",  "SQL_FN_NUM_DEGREES",  "SQL_FN_NUM_LOG10",
    "SQL_FN_NUM_POWER",   "SQL_FN_NUM_RADIANS", "SQL_FN_NUM_ROUND", "SQL_FN_NUM_TRUNCATE",
};
const char* const bits_fn_str[] = {
    "SQL_FN_STR_CONCAT",          "SQL_FN_STR_INSERT",       "SQL_FN_STR_LEFT",
    "SQL_FN_STR_LTRIM",           "SQL_FN_STR_LENGTH",       "SQL_FN_STR_LOCATE",
    "SQL_FN_STR_LCASE",           "SQL_FN_STR_REPEAT",       "SQL_FN_STR_REPLACE",
    "SQL_FN_STR_RIGHT",           "SQL_FN_STR_RTRIM",        "SQL_FN_STR_SUBSTRING",
    "SQL_FN_STR_UCASE",           "SQL_FN_STR_ASCII",        "SQL_FN_STR_CHAR",
    "SQL_FN_STR_DIFFERENCE",      "SQL_FN_STR_LOCATE_2",     "SQL_FN_STR_SOUNDEX",
    "SQL_FN_STR_SPACE",           "SQL_FN_BIT_LENGTH",       "SQL_FN_STR_CHAR_LENGTH",
    "SQL_FN_STR_CARACTER_LENGTH", "SQL_FN_STR_OCTET_LENGTH", "SQL_FN_STR_POSITION",
};
const char* const bits_fn_sys[] = {
    "SQL_FN_SYS_USERNAME",
    "SQL_FN_SYS_DBNAME",
    "SQL_FN_SYS_IFNULL",
};
const char* const bits_fn_td[] = {
    "SQL_FN_TD_NOW",       "SQL_FN_TD_CURDATE",      "SQL_FN_TD_DAYOFMONTH",    "SQL_FN_TD_DAYOFWEEK",
    "SQL_FN_TD_DAYOFYEAR", "SQL_FN_TD_MONTH",        "SQL_FN_TD_QUARTER",       "SQL_FN_TD_WEEK",
    "SQL_FN_TD_YEAR",      "SQL_FN_TD_CURTIME",      "SQL_FN_TD_HOUR",          "SQL_FN_TD_MINUTE",
    "SQL_FN_TD_SECOND",    "SQL_FN_TD_TIMESTAMPADD", "SQL_FN_TD_TIMESTAMPDIFF", "SQL_FN_TD_DAYNAME",
    "SQL_FN_TD_MONTHNAME", "SQL_FN_TD_CURRENT_DATE", "SQL_FN_TD_CURRENT_TIME",  "SQL_FN_TD_CURRENT_TIMESTAMP",
    "SQL_FN_TD_EXTRACT",
};
const char* const bits_cvt[] = {
    "SQL_CVT_CHAR",
    "SQL_CVT_NUMERIC",
    "SQL_CVT_DECIMAL",
    "SQL_CVT_INTEGER",
    "SQL_CVT_SMALLINT",
    "SQL_CVT_FLOAT",
    "SQL_CVT_REAL",
    "SQL_CVT_DOUBLE",
    "SQL_CVT_VARCHAR",
    "SQL_CVT_LONGVARCHAR",
    "SQL_CVT_BINARY",
    "SQL_CVT_VARBINARY",
    "SQL_CVT_BIT",
    "SQL_CVT_TINYINT",
    "SQL_CVT_BIGINT",
    "SQL_CVT_DATE",
    "SQL_CVT_TIME",
    "SQL_CVT_TIMESTAMP",
    "SQL_CVT_LONGVARBINARY",
    "SQL_CVT_INTERVAL_YEAR_MONTH",
    "SQL_CVT_INTERVAL_DAY_TIME",
    "SQL_CVT_WCHAR",
    "SQL_CVT_WLONGVARCHAR",
    "SQL_CVT_WVARCHAR",
};
const char* const bits_lck[] = {
    "SQL_LCK_NO_CHANGE",
    "SQL_LCK_EXCLUSIVE",
    "SQL_LCK_UNLOCK",
};
const char* const bits_pos[] = {
    "SQL_POS_POSITION", "SQL_POS_REFRESH", "SQL_POS_UPDATE", "SQL_POS_DELETE", "SQL_POS_ADD",
};
const char* const bits_ps[] = {
    "SQL_PS_POSITIONED_DELETE",
    "SQL_PS_POSITIONED_UPDATE",
    "SQL_PS_SELECT_FOR_UPDATE",
};
const char* const bits_gd[] = {
    "SQL_GD_ANY_COLUMN",
    "SQL_GD_ANY_ORDER",
    "SQL_GD_BLOCK",
    "SQL_GD_BOUND",
};
const char* const bits_bp[] = {
    "SQL_BP_CLOSE",  "SQL_BP_DELETE",      "SQL_BP_DROP",   "SQL_BP_TRANSACTION",
    "SQL_BP_UPDATE", "SQL_BP_OTHER_HSTMT", "SQL_BP_SCROLL",
};
const char* const bits_ss[] = {
    "SQL_SS_ADDITIONS",
    "SQL_SS_DELETIONS",
    "SQL_SS_UPDATES",
};
const char* const bits_at[] = {
    "SQL_AT_ADD_COLUMN",
    "SQL_AT_DROP_COLUMN",
    "SQL_AT_UNKNOWN_BIT_3",
    "SQL_AT_ADD_CONSTRAINT",
    "SQL_AT_UNKNOWN_BIT_5",
    "SQL_AT_ADD_COLUMN_SINGLE",
    "SQL_AT_ADD_COLUMN_DEFAULT",
    "SQL_AT_ADD_COLUMN_COLLATION",
    "SQL_AT_SET_COLUMN_DEFAULT",
    "SQL_AT_DROP_COLUMN_DEFAULT",
    "SQL_AT_DROP_COLUMN_CASCADE",
    "SQL_AT_DROP_COLUMN_RESTRICT",
    "SQL_AT_ADD_TABLE_CONSTRAINT",
    "SQL_AT_DROP_TABLE_CONSTRAINT_CASCADE",
    "SQL_AT_DROP_TABLE_CONSTRAINT_RESTRICT",
    "SQL_AT_CONSTRAINT_NAME_DEFINITION",
    "SQL_AT_CONSTRAINT_INITIALLY_DEFERRED",
    "SQL_AT_CONSTRAINT_INITIALLY_IMMEDIATE",
    "SQL_AT_CONSTRAINT_DEFERRABLE",
    "SQL_AT_CONSTRAINT_NON_DEFERRABLE",
};
const char* const bits_su[] = {
    "SQL_SU_DML_STATEMENTS",   "SQL_SU_PROCEDURE_INVOCATION", "SQL_SU_TABLE_DEFINITION",
    "SQL_SU_INDEX_DEFINITION", "SQL_SU_PRIVILEGE_DEFINITION",
};
const char* const bits_cu[] = {
    "SQL_CU_DML_STATEMENTS",   "SQL_CU_PROCEDURE_INVOCATION", "SQL_CU_TABLE_DEFINITION",
    "SQL_CU_INDEX_DEFINITION", "SQL_CU_PRIVILEGE_DEFINITION",
};
const char* const bits_sq[] = {
    "SQL_SQ_COMPARISON", "SQL_SQ_EXISTS", "SQL_SQ_IN", "SQL_SQ_QUANTIFIED", "SQL_SQ_CORRELATED_SUBQUERIES",
};
const char* const bits_u[] = {
    "SQL_U_UNION",
    "SQL_U_UNION_ALL",
};
const char* const bits_fn_tsi[] = {
    "SQL_FN_TSI_FRAC_SECOND", "SQL_FN_TSI_SECOND", "SQL_FN_TSI_MINUTE",  "SQL_FN_TSI_HOUR", "SQL_FN_TSI_DAY",
    "SQL_FN_TSI_WEEK",        "SQL_FN_TSI_MONTH",  "SQL_FN_TSI_QUARTER", "SQL_FN_TSI_YEAR",
};
const char* const bits_oj[] = {
    "SQL_OJ_LEFT",
    "SQL_OJ_RIGHT",
    "SQL_OJ_FULL",
    "SQL_OJ_NESTED",
    "SQL_OJ_NOT_ORDERED",
    "SQL_OJ_INNER",
    "SQL_OJ_ALL_COMPARISON_OPS",
};
const char* const bits_ad[] = {
    "SQL_AD_CONSTRAINT_NAME_DEFINITION",
    "SQL_AD_ADD_DOMAIN_CONSTRAINT",
    "SQL_AD_DROP_DOMAIN_CONSTRAINT",
    "SQL_AD_ADD_DOMAIN_DEFAULT",
    "SQL_AD_DROP_DOMAIN_DEFAULT",
    "SQL_AD_ADD_CONSTRAINT_INITIALLY_DEFERRED",
    "SQL_AD_ADD_CONSTRAINT_INITIALLY_IMMEDIATE",
    "SQL_AD_ADD_CONSTRAINT_DEFERRABLE",
    "SQL_AD_ADD_CONSTRAINT_NON_DEFERRABLE",
};
const char* const bits_dl[] = {
    "SQL_DL_SQL92_DATE",
    "SQL_DL_SQL92_TIME",
    "SQL_DL_SQL92_TIMESTAMP",
    "SQL_DL_SQL92_INTERVAL_YEAR",
    "SQL_DL_SQL92_INTERVAL_MONTH",
    "SQL_DL_SQL92_INTERVAL_DAY",
    "SQL_DL_SQL92_INTERVAL_HOUR",
    "SQL_DL_SQL92_INTERVAL_MINUTE",
    "SQL_DL_SQL92_INTERVAL_SECOND",
    "SQL_DL_SQL92_INTERVAL_YEAR_TO_MONTH",
    "SQL_DL_SQL92_INTERVAL_DAY_TO_HOUR",
    "SQL_DL_SQL92_INTERVAL_DAY_TO_MINUTE",
    "SQL_DL_SQL92_INTERVAL_DAY_TO_SECOND",
    "SQL_DL_SQL92_INTERVAL_HOUR_TO_MINUTE",
    "SQL_DL_SQL92_INTERVAL_HOUR_TO_SECOND",
    "SQL_DL_SQL92_INTERVAL_MINUTE_TO_SECOND",
};
const char* const bits_brc[] = {
    "SQL_BRC_PROCEDURES",
    "SQL_BRC_EXPLICIT",
    "SQL_BRC_ROLLED_UP",
};
const char* const bits_bs[] = {
    "SQL_BS_SELECT_EXPLICIT",
    "SQL_BS_ROW_COUNT_EXPLICIT",
    "SQL_BS_SELECT_PROC",
    "SQL_BS_ROW_COUNT_PROC",
};
const char* const bits_ca[] = {
    "SQL_CA_CREATE_ASSERTION",
    "SQL_CA_UNKNOWN_BIT 2",
    "SQL_CA_UNKNOWN_BIT 3",
    "SQL_CA_UNKNOWN_BIT 4",
    "SQL_CA_CONSTRAINT_INITIALLY_DEFERRED",
    "SQL_CA_CONSTRAINT_INITIALLY_IMMEDIATE",
    "SQL_CA_CONSTRAINT_DEFERRABLE",
    "SQL_CA_CONSTRAINT_NON_DEFERRABLE",
};
const char* const bits_css[] = {
    "SQL_CSS_CREATE_CHARACTER_SET",
    "SQL_CSS_COLLATE",
    "SQL_CSS_LIMITED_COLLATION",
};
const char* const bits_ccol[] = {
    "SQL_CCOL_CREATE_COLLATION",
};
const char* const bits_cdo[] = {
    "SQL_CDO_CREATE_DOMAIN",
    "SQL_CDO_DEFAULT",
    "SQL_CDO_CONSTRAINT",
    "SQL_CDO_COLLATION",
    "SQL_CDO_CONSTRAINT_NAME_DEFINITION",
    "SQL_CDO_CONSTRAINT_INITIALLY_DEFERRED",
    "SQL_CDO_CONSTRAINT_INITIALLY_IMMEDIATE",
    "SQL_CDO_CONSTRAINT_DEFERRABLE",
    "SQL_CDO_CONSTRAINT_NON_DEFERRABLE",
};
const char* const bits_cs[] = {
    "SQL_CS_CREATE_SCHEMA",
    "SQL_CS_AUTHORIZATION",
    "SQL_CS_DEFAULT_CHARACTER_SET",
};
const char* const bits_ct[] = {
    "SQL_CT_CREATE_TABLE",
    "SQL_CT_COMMIT_PRESERVE",
    "SQL_CT_COMMIT_DELETE",
    "SQL_CT_GLOBAL_TEMPORARY",
    "SQL_CT_LOCAL_TEMPORARY",
    "SQL_CT_CONSTRAINT_INITIALLY_DEFERRED",
    "SQL_CT_CONSTRAINT_INITIALLY_IMMEDIATE",
    "SQL_CT_CONSTRAINT_DEFERRABLE",
    "SQL_CT_CONSTRAINT_NON_DEFERRABLE",
    "SQL_CT_COLUMN_CONSTRAINT",
    "SQL_CT_COLUMN_DEFAULT",
    "SQL_CT_COLUMN_COLLATION",
    "SQL_CT_TABLE_CONSTRAINT",
    "SQL_CT_CONSTRAINT_NAME_DEFINITION",
};
const char* const bits_ctr[] = {
    "SQL_CTR_CREATE_TRANSLATION",
};
const char* const bits_cv[] = {
    "SQL_CV_CREATE_VIEW",
    "SQL_CV_CHECK_OPTION",
    "SQL_CV_CASCADED",
    "SQL_CV_LOCAL",
};
const char* const bits_da[] = {
    "SQL_DA_DROP_ASSERTION",
};
const char* const bits_dcs[] = {
    "SQL_DCS_DROP_CHARACTER_SET",
};
const char* const bits_dc[] = {
    "SQL_DC_DROP_COLLATION",
};
const char* const bits_dd[] = {
    "SQL_DD_DROP_DOMAIN",
    "SQL_DD_RESTRICT",
    "SQL_DD_CASCASE",
};
const char* const bits_ds[] = {
    "SQL_DS_DROP_SCHEMA",
    "SQL_DS_RESTRICT",
    "SQL_DS_CASCADE",
};
const char* const bits_dt[] = {
    "SQL_DT_DROP_TABLE",
    "SQL_DT_RESTRICT",
    "SQL_DT_CASCADE",
};
const char* const bits_dtr[] = {
    "SQL_DTR_DROP_TRANSLATION",
};
const char* const bits_dv[] = {
    "SQL_DV_DROP_TABLE",
    "SQL_DV_RESTRICT",
    "SQL_DV_CASCADE",
};
const char* const bits_ca1[] = {
    "SQL_CA1_NEXT",
    "SQL_CA1_ABSOLUTE",
    "SQL_CA1_RELATIVE",
    "SQL_CA1_BOOKMARK",
    "SQL_CA1_UNKNOWN_BIT 5",
    "SQL_CA1_UNKNOWN_BIT 6",
    "SQL_CA1_LOCK_NO_CHANGE",
    "SQL_CA1_LOCK_EXCLUSIVE",
    "SQL_CA1_LOCK_UNLOCK",
    "SQL_CA1_POS_POSITION",
    "SQL_CA1_POS_UPDATE",
    "SQL_CA1_POS_DELETE",
    "SQL_CA1_POS_REFRESH",
    "SQL_CA1_POSITIONED_UPDATE",
    "SQL_CA1_POSITIONED_DELETE",
    "SQL_CA1_SELECT_FOR_UPDATE",
    "SQL_CA1_BULK_ADD",
    "SQL_CA1_BULK_UPDATE_BY_BOOKMARK",
    "SQL_CA1_BULK_DELETE_BY_BOOKMARK",
    "SQL_CA1_BULK_FETCH_BY_BOOKMARK",
};
const char* const bits_ca2[] = {
    "SQL_CA2_READ_ONLY_CONCURRENCY",
    "SQL_CA2_LOCK_CONCURRENCY",
    "SQL_CA2_OPT_ROWVER_CONCURRENCY",
    "SQL_CA2_OPT_VALUES_CONCURRENCY",
    "SQL_CA2_SENSITIVITY_ADDITIONS",
    "SQL_CA2_SENSITIVITY_DELETIONS",
    "SQL_CA2_SENSITIVITY_UPDATES",
    "SQL_CA2_MAX_ROWS_SELECT",
    "SQL_CA2_MAX_ROWS_INSERT",
    "SQL_CA2_MAX_ROWS_DELETE",
    "SQL_CA2_MAX_ROWS_UPDATE",
    "SQL_CA2_MAX_ROWS_CATALOG",
    "SQL_CA2_CRC_EXACT",
    "SQL_CA2_CRC_APPROXIMATE",
    "SQL_CA2_SIMULATE_NON_UNIQUE",
    "SQL_CA2_SIMULATE_TRY_UNIQUE",
    "SQL_CA2_SIMULATE_UNIQUE",
};
const char* const bits_ik[] = {
    "SQL_IK_ASC",
    "SQL_IK_DESC",
};
const char* const bits_isv[] = {
    "SQL_ISV_ASSERTIONS",
    "SQL_ISV_CHARACTER_SETS",
    "SQL_ISV_CHECK_CONSTRAINTS",
    "SQL_ISV_COLLATIONS",
    "SQL_ISV_COLUMN_DOMAIN_USAGE",
    "SQL_ISV_COLUMN_PRIVILEGES",
    "SQL_ISV_COLUMNS",
    "SQL_ISV_CONSTRAINT_COLUMN_USAGE",
    "SQL_ISV_CONSTRAINT_TABLE_USAGE",
    "SQL_ISV_DOMAIN_CONSTRAINTS",
    "SQL_ISV_DOMAINS",
    "SQL_ISV_KEY_COLUMN_USAGE",
    "SQL_ISV_REFERENTIAL_CONSTRAINTS",
    "SQL_ISV_SCHEMATA",
    "SQL_ISV_SQL_LANGUAGES",
    "SQL_ISV_TABLE_CONSTRAINTS",
    "SQL_ISV_TABLE_PRIVILEGES",
    "SQL_ISV_TABLES",
    "SQL_ISV_TRANSLATIONS",
    "SQL_ISV_USAGE_PRIVILEGES",
    "SQL_ISV_VIEW_COLUMN_USAGE",
    "SQL_ISV_VIEW_TABLE_USAGE",
    "SQL_ISV_VIEWS",
};
const char* const bits_sdf[] = {
    "SQL_SDF_CURRENT_DATE",
    "SQL_SDF_CURRENT_TIME",
    "SQL_SDF_CURRENT_TIMESTAMP",
};
const char* const bits_sfkd[] = {
    "SQL_SFKD_CASCADE",
    "SQL_SFKD_NO_ACTION",
    "SQL_SFKD_SET_DEFAULT",
    "SQL_SFKD_SET_NULL",
};
const char* const bits_sfku[] = {
    "SQL_SFKU_CASCADE",
    "SQL_SFKU_NO_ACTION",
    "SQL_SFKU_SET_DEFAULT",
    "SQL_SFKU_SET_NULL",
};
const char* const bits_sg[] = {
    "SQL_SG_USAGE_ON_DOMAIN",      "SQL_SG_USAGE_ON_CHARACTER_SET", "SQL_SG_USAGE_ON_COLLATION",
    "SQL_SG_USAGE_ON_TRANSLATION", "SQL_SG_WITH_GRANT_OPTION",      "SQL_SG_DELETE_TABLE",
    "SQL_SG_INSERT_TABLE",         "SQL_SG_INSERT_COLUMN",          "SQL_SG_REFERENCES_TABLE",
    "SQL_SG_REFERENCES_COLUMN",    "SQL_SG_SELECT_TABLE",           "SQL_SG_UPDATE_TABLE",
    "SQL_SG_UPDATE_COLUMN",
};
const char* const bits_snvf[] = {
    "SQL_SNVF_BIT_LENGTH", "SQL_SNVF_CHAR_LENGTH",  "SQL_SNVF_CHARACTER_LENGTH",
    "SQL_SNVF_EXTRACT",    "SQL_SNVF_OCTET_LENGTH", "SQL_SNVF_POSITION",
};
const char* const bits_sp[] = {
    "SQL_SP_EXISTS",
    "SQL_SP_ISNOTNULL",
    "SQL_SP_ISNULL",
    "SQL_SP_MATCH_FULL",
    "SQL_SP_MATCH_PARTIAL",
    "SQL_SP_MATCH_UNIQUE_FULL",
    "SQL_SP_MATCH_UNIQUE_PARTIAL",
    "SQL_SP_OVERLAPS",
    "SQL_SP_UNIQUE",
    "SQL_SP_LIKE",
    "SQL_SP_IN",
    "SQL_SP_BETWEEN",
    "SQL_SP_COMPARISON",
    "SQL_SP_QUANTIFIED_COMPARISON",
};
const char* const bits_srjo[] = {
    "SQL_SRJO_CORRESPONDING_CLAUSE", "SQL_SRJO_CROSS_JOIN",   "SQL_SRJO_EXCEPT_JOIN",
    "SQL_SRJO_FULL_OUTER_JOIN",      "SQL_SRJO_INNER_JOIN",   "SQL_SRJO_INTERSECT_JOIN",
    "SQL_SRJO_LEFT_OUTER_JOIN",      "SQL_SRJO_NATURAL_JOIN", "SQL_SRJO_RIGHT_OUTER_JOIN",
    "SQL_SRJO_UNION_JOIN",
};
const char* const bits_sr[] = {
    "SQL_SR_USAGE_ON_DOMAIN",    "SQL_SR_USAGE_ON_CHARACTER_SET",
    "SQL_SR_USAGE_ON_COLLATION", "SQL_SR_USAGE_ON_TRANSLATION",
    "SQL_SR_GRANT_OPTION_FOR",   "SQL_SR_CASCADE",
    "SQL_SR_RESTRICT",           "SQL_SR_DELETE_TABLE",
    "SQL_SR_INSERT_TABLE",       "SQL_SR_INSERT_COLUMN",
    "SQL_SR_REFERENCES_TABLE",   "SQL_SR_REFERENCES_COLUMN",
    "SQL_SR_SELECT_TABLE",       "SQL_SR_UPDATE_TABLE",
    "SQL_SR_UPDATE_COLUMN",
};
const char* const bits_srvc[] = {
    "SQL_SRVC_VALUE_EXPRESSION",
    "SQL_SRVC_NULL",
    "SQL_SRVC_DEFAULT",
    "SQL_SRVC_ROW_SUBQUERY",
};
const char* const bits_ssf[] = {
    "SQL_SSF_CONVERT",   "SQL_SSF_LOWER",     "SQL_SSF_UPPER",        "SQL_SSF_SUBSTRING",
    "SQL_SSF_TRANSLATE", "SQL_SSF_TRIM_BOTH", "SQL_SSF_TRIM_LEADING", "SQL_SSF_TRIM_TRAILING",
};
const char* const bits_sve[] = {
    "SQL_SVE_CASE",
    "SQL_SVE_CAST",
    "SQL_SVE_COALESCE",
    "SQL_SVE_NULLIF",
};
const char* const bits_scc[] = {
    "SQL_SCC_XOPEN_CLI_VERSION1",
    "SQL_SCC_ISO92_CLI",
};
const char* const bits_af[] = {
    "SQL_AF_AVG", "SQL_AF_COUNT", "SQL_AF_MAX", "SQL_AF_MIN", "SQL_AF_SUM", "SQL_AF_DISTINCT", "SQL_AF_ALL",
};
const char* const bits_di[] = {
    "SQL_DI_CREATE_INDEX",
    "SQL_DI_DROP_INDEX",
};
const char* const bits_is[] = {
    "SQL_IS_INSERT_LITERALS",
    "SQL_IS_INSERT_SEARCHED",
    "SQL_IS_SELECT_INTO",
};
const char* const bits_dtc[] = {
    "SQL_DTC_ENLIST_EXPENSIVE",
    "SQL_DTC_UNENLIST_EXPENSIVE",
};

// ---- enumerations: the name of value 0, 1, ... ---------------------------------------

const char* const values_oac[] = {"SQL_OAC_NONE", "SQL_OAC_LEVEL1", "SQL_OAC_LEVEL2"};
const char* const values_oscc[] = {"SQL_OSCC_NOT_COMPLIANT", "SQL_OSCC_COMPLIANT"};
const char* const values_osc[] = {"SQL_OSC_MINIMUM", "SQL_OSC_CORE", "SQL_OSC_EXTENDED"};
const char* const values_cb_null[] = {"SQL_CB_NULL", "SQL_CB_NON_NULL"};
const char* const values_cb[] = {"SQL_CB_DELETE", "SQL_CB_CLOSE", "SQL_CB_PRESERVE"};
const char* const values_ic[] = {"SQL_IC_UNKNOWN", "SQL_IC_UPPER", "SQL_IC_LOWER", "SQL_IC_SENSITIVE",
                                 "SQL_IC_MIXED"};
const char* const values_tc[] = {"SQL_TC_NONE", "SQL_TC_DML", "SQL_TC_ALL", "SQL_TC_DDL_COMMIT",
                                 "SQL_TC_DDL_IGNORE"};
const char* const values_cn[] = {"SQL_CN_NONE", "SQL_CN_DIFFERENT", "SQL_CN_ANY"};
const char* const values_nnc[] = {"SQL_NNC_NULL", "SQL_NNC_NON_NULL"};
const char* const values_file[] = {"SQL_FILE_NOT_SUPPORTED", "SQL_FILE_TABLE", "SQL_FILE_QUALIFIER"};
const char* const values_nc[] = {"SQL_NC_HIGH", "SQL_NC_LOW", "SQL_NC_START"};
const char* const values_gb[] = {"SQL_GB_NOT_SUPPORTED", "SQL_GB_GROUP_BY_EQUALS_SELECT",
                                 "SQL_GB_GROUP_BY_CONTAINS_SELECT", "SQL_GB_NO_RELATION"};
const char* const values_cl[] = {"SQL_CL_UNKNOWN", "SQL_CL_START", "SQL_CL_END"};
const char* const values_sc[] = {"SQL_SC_UINKNOWN", "SQL_SC_SQL92_ENTRY", "SQL_SC_FIPS127_2_TRANSITIONAL",
                                 "SQL_SC_SQL92_INTERMEDIATE", "SQL_SC_SQL92_FULL"};
const char* const values_oic[] = {"SQL_OIC_UNKNOWN", "SQL_OAC_CORE", "SQL_OAC_LEVEL1", "SQL_OAC_LEVEL2"};
const char* const values_parc[] = {"SQL_PARC_UNKNOWN", "SQL_PARC_BATCH", "SQL_PARC_NOBATCH"};
const char* const values_pas[] = {"SQL_PAS_UNKNOWN", "SQL_PAS_BATCH", "SQL_PAS_NO_BATCH",
                                  "SQL_PAS_NO_SELECT"};
const char* const values_sensitivity[] = {"SQL_UNSPECIFIED", "SQL_INSENSITIVE", "SQL_SENSITIVE"};
const char* const values_am[] = {"SQL_AM_NONE", "SQL_AM_CONNECTION", "SQL_AM_STATEMENT"};

const zolandm_tr_name_list mask_fetch_direction = names(bits_fetch_direction, "SQL_FD_FETCH_UNKNOWN");
const zolandm_tr_name_list mask_txn = names(bits_txn, "SQL_TXN_UNKNOWN");
const zolandm_tr_name_list mask_scco = names(bits_scco, "SQL_SCCO_UNKNOWN");
const zolandm_tr_name_list mask_so = names(bits_so, "SQL_SO_UNKNOWN");
const zolandm_tr_name_list mask_fn_cvt = names(bits_fn_cvt, "SQL_FN_CVT_UNKNOWN");
const zolandm_tr_name_list mask_fn_num = names(bits_fn_num, "SQL_FN_UNKNOWN");
const zolandm_tr_name_list mask_fn_str = names(bits_fn_str, "SQL_FN_STR_UNKNOWN");
const zolandm_tr_name_list mask_fn_sys = names(bits_fn_sys, "SQL_FN_SYS_UNKNOWN");
const zolandm_tr_name_list mask_fn_td = names(bits_fn_td, "SQL_FN_TD_UNKNOWN");
const zolandm_tr_name_list mask_cvt = names(bits_cvt, "SQL_CVT_UNKNOWN");
const zolandm_tr_name_list mask_lck = names(bits_lck, "SQL_LCK_UNKNOWN");
const zolandm_tr_name_list mask_pos = names(bits_pos, "SQL_POS_UNKNOWN");
const zolandm_tr_name_list mask_ps = names(bits_ps, "SQL_PS_UNKNOWN");
const zolandm_tr_name_list mask_gd = names(bits_gd, "SQL_GD_UNKNOWN");
const zolandm_tr_name_list mask_bp = names(bits_bp, "SQL_BP_UNKNOWN");
const zolandm_tr_name_list mask_ss = names(bits_ss, "SQL_SS_UNKNOWN");
const zolandm_tr_name_list mask_at = names(bits_at, "SQL_AT_UNKNOWN");
const zolandm_tr_name_list mask_su = names(bits_su, "SQL_SU_UNKNOWN");
const zolandm_tr_name_list mask_cu = names(bits_cu, "SQL_CU_UNKNOWN");
const zolandm_tr_name_list mask_sq = names(bits_sq, "SQL_SQ_UNKNOWN");
const zolandm_tr_name_list mask_u = names(bits_u, "SQL_U_UNION_UNKNOWN");
const zolandm_tr_name_list mask_fn_tsi = names(bits_fn_tsi, "SQL_FN_TSI_UNKNOWN");
const zolandm_tr_name_list mask_oj = names(bits_oj, "SQL_OJ_UNKNOWN");
const zolandm_tr_name_list mask_ad = names(bits_ad, "SQL_AD_CONSTRAINT_UNKNOWN");
const zolandm_tr_name_list mask_dl = names(bits_dl);
const zolandm_tr_name_list mask_brc = names(bits_brc, "SQL_BRC_UNKNOWN");
const zolandm_tr_name_list mask_bs = names(bits_bs, "SQL_BS_UNKNOWN");
const zolandm_tr_name_list mask_ca = names(bits_ca, "SQL_CA_UNKNOWN");
const zolandm_tr_name_list mask_css = names(bits_css, "SQL_CSS_UNKNOWN");
const zolandm_tr_name_list mask_ccol = names(bits_ccol, "SQL_CCOL_UNKNOWN");
const zolandm_tr_name_list mask_cdo = names(bits_cdo, "SQL_CDO_UNKNOWN");
const zolandm_tr_name_list mask_cs = names(bits_cs, "SQL_CS_UNKNOWN");
const zolandm_tr_name_list mask_ct = names(bits_ct, "SQL_CT_UNKNOWN");
const zolandm_tr_name_list mask_ctr = names(bits_ctr, "SQL_CTR_UNKNOWN");
const zolandm_tr_name_list mask_cv = names(bits_cv, "SQL_CV_UNKNOWN");
const zolandm_tr_name_list mask_da = names(bits_da, "SQL_DA_UNKNOWN");
const zolandm_tr_name_list mask_dcs = names(bits_dcs, "SQL_DCS_UNKNOWN");
const zolandm_tr_name_list mask_dc = names(bits_dc, "SQL_DC_UNKNOWN");
const zolandm_tr_name_list mask_dd = names(bits_dd, "SQL_DD_UNKNOWN");
const zolandm_tr_name_list mask_ds = names(bits_ds, "SQL_DS_UNKNOWN");
const zolandm_tr_name_list mask_dt = names(bits_dt, "SQL_DT_UNKNOWN");
const zolandm_tr_name_list mask_dtr = names(bits_dtr, "SQL_DTR_UNKNOWN");
const zolandm_tr_name_list mask_dv = names(bits_dv, "SQL_DV_UNKNOWN");
const zolandm_tr_name_list mask_ca1 = names(bits_ca1, "SQL_CA1_UNKNOWN");
const zolandm_tr_name_list mask_ca2 = names(bits_ca2, "SQL_CA2_UNKNOWN");
const zolandm_tr_name_list mask_ik = names(bits_ik, "SQL_IK_NONE");
const zolandm_tr_name_list mask_isv = names(bits_isv, "SQL_ISV_UNKNOWN");
const zolandm_tr_name_list mask_sdf = names(bits_sdf, "SQL_SDF_UNKNOWN");
const zolandm_tr_name_list mask_sfkd = names(bits_sfkd, "SQL_SFKD_UNKNOWN");
const zolandm_tr_name_list mask_sfku = names(bits_sfku, "SQL_SFKU_UNKNOWN");
const zolandm_tr_name_list mask_sg = names(bits_sg, "SQL_SG_UNKNOWN");
const zolandm_tr_name_list mask_snvf = names(bits_snvf, "SQL_SNVF_UNKNOWN");
const zolandm_tr_name_list mask_sp = names(bits_sp, "SQL_SP_UNKNOWN");
const zolandm_tr_name_list mask_srjo = names(bits_srjo, "SQL_SRJO_UNKOWN");
const zolandm_tr_name_list mask_sr = names(bits_sr, "SQL_SR_UNKNOWN");
const zolandm_tr_name_list mask_srvc = names(bits_srvc, "SQL_SRVC_UNKOWN");
const zolandm_tr_name_list mask_ssf = names(bits_ssf, "SQL_SSF_UNKNOWN");
const zolandm_tr_name_list mask_sve = names(bits_sve, "SQL_SVE_UNKNOWN");
const zolandm_tr_name_list mask_scc = names(bits_scc, "SQL_SCC_UNKNOWN");
const zolandm_tr_name_list mask_af = names(bits_af, "SQL_AF_UNKNOWN");
const zolandm_tr_name_list mask_di = names(bits_di, "SQL_DI_UNKNOWN");
const zolandm_tr_name_list mask_is = names(bits_is, "SQL_IS_UNKNOWN");
const zolandm_tr_name_list mask_dtc = names(bits_dtc, "SQL_DTC_UNKNOWN");
const zolandm_tr_name_list enum_oac = names(values_oac);
const zolandm_tr_name_list enum_oscc = names(values_oscc);
const zolandm_tr_name_list enum_osc = names(values_osc);
const zolandm_tr_name_list enum_cb_null = names(values_cb_null);
const zolandm_tr_name_list enum_cb = names(values_cb);
const zolandm_tr_name_list enum_ic = names(values_ic);
const zolandm_tr_name_list enum_tc = names(values_tc);
const zolandm_tr_name_list enum_cn = names(values_cn);
const zolandm_tr_name_list enum_nnc = names(values_nnc);
const zolandm_tr_name_list enum_file = names(values_file);
const zolandm_tr_name_list enum_nc = names(values_nc);
const zolandm_tr_name_list enum_gb = names(values_gb);
const zolandm_tr_name_list enum_cl = names(values_cl);
const zolandm_tr_name_list enum_sc = names(values_sc);
const zolandm_tr_name_list enum_oic = names(values_oic);
const zolandm_tr_name_list enum_parc = names(values_parc);
const zolandm_tr_name_list enum_pas = names(values_pas);
const zolandm_tr_name_list enum_sensitivity = names(values_sensitivity);
const zolandm_tr_name_list enum_am = names(values_am);

// Sorted by type.
const zolandm_tr_info_type info_types[] = {
    {0, "SQL_MAX_DRIVER_CONNECTIONS", ZOLANDM_TR_INFO_SHORT, nullptr},
    {1, "SQL_MAX_CONCURRENT_ACTIVITIES", ZOLANDM_TR_INFO_SHORT, nullptr},
    {2, "SQL_DATA_SOURCE_NAME", ZOLANDM_TR_INFO_STRING, nullptr},
    {3, "SQL_DRIVER_HDBC", ZOLANDM_TR_INFO_LONG, nullptr},
    {4, "SQL_DRIVER_HENV", ZOLANDM_TR_INFO_LONG, nullptr},
    {5, "SQL_DRIVER_HSTMT", ZOLANDM_TR_INFO_LONG, nullptr},
    {6, "SQL_DRIVER_NAME", ZOLANDM_TR_INFO_STRING, nullptr},
    {7, "SQL_DRIVER_VER", ZOLANDM_TR_INFO_STRING, nullptr},
    {8, "SQL_FETCH_DIRECTION", ZOLANDM_TR_INFO_MASK, &mask_fetch_direction},
    {9, "SQL_ODBC_API_CONFORMANCE", ZOLANDM_TR_INFO_ENUM, &enum_oac},
    {10, "SQL_ODBC_VER", ZOLANDM_TR_INFO_STRING, nullptr},
    {11, "SQL_ROW_UPDATES", ZOLANDM_TR_INFO_STRING, nullptr},
    {12, "SQL_ODBC_SAG_CLI_CONFORMANCE", ZOLANDM_TR_INFO_ENUM, &enum_oscc},
    {13, "SQL_SERVER_NAME", ZOLANDM_TR_INFO_STRING, nullptr},
    {14, "SQL_SEARCH_PATTERN_ESCAPE", ZOLANDM_TR_INFO_STRING, nullptr},
    {15, "SQL_ODBC_SQL_CONFORMANCE", ZOLANDM_TR_INFO_ENUM, &enum_osc},
    {16, "SQL_DATABASE_NAME", ZOLANDM_TR_INFO_STRING, nullptr},
    {17, "SQL_DBMS_NAME", ZOLANDM_TR_INFO_STRING, nullptr},
    {18, "SQL_DBMS_VER", ZOLANDM_TR_INFO_STRING, nullptr},
    {19, "SQL_ACCESSIBLE_TABLES", ZOLANDM_TR_INFO_STRING, nullptr},
    {20, "SQL_ACCESSIBLE_PROCEDURES", ZOLANDM_TR_INFO_STRING, nullptr},
    {21, "SQL_PROCEDURES", ZOLANDM_TR_INFO_STRING, nullptr},
    {22, "SQL_CONCAT_NULL_BEHAVIOR", ZOLANDM_TR_INFO_ENUM, &enum_cb_null},
    {23, "SQL_CURSOR_COMMIT_BEHAVIOR", ZOLANDM_TR_INFO_ENUM, &enum_cb},
    {24, "SQL_CURSOR_ROLLBACK_BEHAVIOR", ZOLANDM_TR_INFO_ENUM, &enum_cb},
    {25, "SQL_DATA_SOURCE_READ_ONLY", ZOLANDM_TR_INFO_STRING, nullptr},
    {26, "SQL_DEFAULT_TXN_ISOLATION", ZOLANDM_TR_INFO_MASK, &mask_txn},
    {27, "SQL_EXPRESSIONS_IN_ORDERBY", ZOLANDM_TR_INFO_STRING, nullptr},
    {28, "SQL_IDENTIFIER_CASE", ZOLANDM_TR_INFO_ENUM, &enum_ic},
    {29, "SQL_IDENTIFIER_QUOTE_CHAR", ZOLANDM_TR_INFO_STRING, nullptr},
    {30, "SQL_MAX_COLUMN_NAME_LEN", ZOLANDM_TR_INFO_SHORT, nullptr},
    {31, "SQL_MAX_CURSOR_NAME_LEN", ZOLANDM_TR_INFO_SHORT, nullptr},
    {32, "SQL_MAX_SCHEMA_NAME_LEN", ZOLANDM_TR_INFO_SHORT, nullptr},
    {33, "SQL_MAX_PROCEDURE_NAME_LEN", ZOLANDM_TR_INFO_SHORT, nullptr},
    {34, "SQL_MAX_CATALOG_NAME_LEN", ZOLANDM_TR_INFO_SHORT, nullptr},
    {35, "SQL_MAX_TABLE_NAME_LEN", ZOLANDM_TR_INFO_SHORT, nullptr},
    {36, "SQL_MULT_RESULT_SETS", ZOLANDM_TR_INFO_STRING, nullptr},
    {37, "SQL_MULTIPLE_ACTIVE_TXN", ZOLANDM_TR_INFO_STRING, nullptr},
    {38, "SQL_OUTER_JOINS", ZOLANDM_TR_INFO_STRING, nullptr},
    {39, "SQL_SCHEMA_TERM", ZOLANDM_TR_INFO_STRING, nullptr},
    {40, "SQL_PROCEDURE_TERM", ZOLANDM_TR_INFO_STRING, nullptr},
    {41, "SQL_CATALOG_NAME_SEPARATOR", ZOLANDM_TR_INFO_STRING, nullptr},
    {42, "SQL_CATALOG_TERM", ZOLANDM_TR_INFO_STRING, nullptr},
    {43, "SQL_SCROLL_CONCURRENCY", ZOLANDM_TR_INFO_MASK, &mask_scco},
    {44, "SQL_SCROLL_OPTIONS", ZOLANDM_TR_INFO_MASK, &mask_so},
    {45, "SQL_TABLE_TERM", ZOLANDM_TR_INFO_STRING, nullptr},
    {46, "SQL_TXN_CAPABLE", ZOLANDM_TR_INFO_ENUM, &enum_tc},
    {47, "SQL_USER_NAME", ZOLANDM_TR_INFO_STRING, nullptr},
    {48, "SQL_CONVERT_FUNCTIONS", ZOLANDM_TR_INFO_MASK, &mask_fn_cvt},
    {49, "SQL_NUMERIC_FUNCTIONS", ZOLANDM_TR_INFO_MASK, &mask_fn_num},
    {50, "SQL_STRING_FUNCTIONS", ZOLANDM_TR_INFO_MASK, &mask_fn_str},
    {51, "SQL_SYSTEM_FUNCTIONS", ZOLANDM_TR_INFO_MASK, &mask_fn_sys},
    {52, "SQL_TIMEDATE_FUNCTIONS", ZOLANDM_TR_INFO_MASK, &mask_fn_td},
    {53, "SQL_CONVERT_BIGINT", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {54, "SQL_CONVERT_BINARY", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {55, "SQL_CONVERT_BIT", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {56, "SQL_CONVERT_CHAR", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {57, "SQL_CONVERT_DATE", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {58, "SQL_CONVERT_DECIMAL", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {59, "SQL_CONVERT_DOUBLE", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {60, "SQL_CONVERT_FLOAT", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {61, "SQL_CONVERT_INTEGER", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {62, "SQL_CONVERT_LONGVARCHAR", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {63, "SQL_CONVERT_NUMERIC", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {64, "SQL_CONVERT_REAL", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {65, "SQL_CONVERT_SMALLINT", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {66, "SQL_CONVERT_TIME", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {67, "SQL_CONVERT_TIMESTAMP", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {68, "SQL_CONVERT_TINYINT", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {69, "SQL_CONVERT_VARBINARY", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {70, "SQL_CONVERT_VARCHAR", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {71, "SQL_CONVERT_LONGVARBINARY", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {72, "SQL_TXN_ISOLATION_OPTION", ZOLANDM_TR_INFO_MASK, &mask_txn},
    {73, "SQL_INTEGRITY", ZOLANDM_TR_INFO_STRING, nullptr},
    {74, "SQL_CORRELATION_NAME", ZOLANDM_TR_INFO_ENUM, &enum_cn},
    {75, "SQL_NON_NULLABLE_COLUMNS", ZOLANDM_TR_INFO_ENUM, &enum_nnc},
    {76, "SQL_DRIVER_HLIB", ZOLANDM_TR_INFO_LONG, nullptr},
    {77, "SQL_DRIVER_ODBC_VER", ZOLANDM_TR_INFO_STRING, nullptr},
    {78, "SQL_LOCK_TYPES", ZOLANDM_TR_INFO_MASK, &mask_lck},
    {79, "SQL_POS_OPERATIONS", ZOLANDM_TR_INFO_MASK, &mask_pos},
    {80, "SQL_POSITIONED_STATEMENTS", ZOLANDM_TR_INFO_MASK, &mask_ps},
    {81, "SQL_GETDATA_EXTENSIONS", ZOLANDM_TR_INFO_MASK, &mask_gd},
    {82, "SQL_BOOKMARK_PERSISTENCE", ZOLANDM_TR_INFO_MASK, &mask_bp},
    {83, "SQL_STATIC_SENSITIVITY", ZOLANDM_TR_INFO_MASK, &mask_ss},
    {84, "SQL_FILE_USAGE", ZOLANDM_TR_INFO_ENUM, &enum_file},
    {85, "SQL_NULL_COLLATION", ZOLANDM_TR_INFO_ENUM, &enum_nc},
    {86, "SQL_ALTER_TABLE", ZOLANDM_TR_INFO_MASK, &mask_at},
    {87, "SQL_COLUMN_ALIAS", ZOLANDM_TR_INFO_STRING, nullptr},
    {88, "SQL_GROUP_BY", ZOLANDM_TR_INFO_ENUM, &enum_gb},
    {89, "SQL_KEYWORDS", ZOLANDM_TR_INFO_STRING, nullptr},
    {90, "SQL_ORDER_BY_COLUMNS_IN_SELECT", ZOLANDM_TR_INFO_STRING, nullptr},
    {91, "SQL_SCHEMA_USAGE", ZOLANDM_TR_INFO_MASK, &mask_su},
    {92, "SQL_CATALOG_USAGE", ZOLANDM_TR_INFO_MASK, &mask_cu},
    {93, "SQL_QUOTED_IDENTIFIER_CASE", ZOLANDM_TR_INFO_ENUM, &enum_ic},
    {94, "SQL_SPECIAL_CHARACTERS", ZOLANDM_TR_INFO_STRING, nullptr},
    {95, "SQL_SUBQUERIES", ZOLANDM_TR_INFO_MASK, &mask_sq},
    {96, "SQL_UNION", ZOLANDM_TR_INFO_MASK, &mask_u},
    {97, "SQL_MAX_COLUMNS_IN_GROUP_BY", ZOLANDM_TR_INFO_SHORT, nullptr},
    {98, "SQL_MAX_COLUMNS_IN_INDEX", ZOLANDM_TR_INFO_SHORT, nullptr},
    {99, "SQL_MAX_COLUMNS_IN_ORDER_BY", ZOLANDM_TR_INFO_SHORT, nullptr},
    {100, "SQL_MAX_COLUMNS_IN_SELECT", ZOLANDM_TR_INFO_SHORT, nullptr},
    {101, "SQL_MAX_COLUMNS_IN_TABLE", ZOLANDM_TR_INFO_SHORT, nullptr},
    {102, "SQL_MAX_INDEX_SIZE", ZOLANDM_TR_INFO_LONG, nullptr},
    {103, "SQL_MAX_ROW_SIZE_INCLUDES_LONG", ZOLANDM_TR_INFO_STRING, nullptr},
    {104, "SQL_MAX_ROW_SIZE", ZOLANDM_TR_INFO_LONG, nullptr},
    {105, "SQL_MAX_STATEMENT_LEN", ZOLANDM_TR_INFO_LONG, nullptr},
    {106, "SQL_MAX_TABLES_IN_SELECT", ZOLANDM_TR_INFO_SHORT, nullptr},
    {107, "SQL_MAX_USER_NAME_LEN", ZOLANDM_TR_INFO_SHORT, nullptr},
    {108, "SQL_MAX_CHAR_LITERAL_LEN", ZOLANDM_TR_INFO_LONG, nullptr},
    {109, "SQL_TIMEDATE_ADD_INTERVALS", ZOLANDM_TR_INFO_MASK, &mask_fn_tsi},
    {110, "SQL_TIMEDATE_DIFF_INTERVALS", ZOLANDM_TR_INFO_MASK, &mask_fn_tsi},
    {111, "SQL_NEED_LONG_DATA_LEN", ZOLANDM_TR_INFO_STRING, nullptr},
    {112, "SQL_MAX_BINARY_LITERAL_LEN", ZOLANDM_TR_INFO_LONG, nullptr},
    {113, "SQL_LIKE_ESCAPE_CLAUSE", ZOLANDM_TR_INFO_STRING, nullptr},
    {114, "SQL_CATALOG_LOCATION", ZOLANDM_TR_INFO_ENUM, &enum_cl},
    {115, "SQL_OJ_CAPABILITIES", ZOLANDM_TR_INFO_MASK, &mask_oj},
    {116, "SQL_ACTIVE_ENVIRONMENTS", ZOLANDM_TR_INFO_SHORT, nullptr},
    {117, "SQL_ALTER_DOMAIN", ZOLANDM_TR_INFO_MASK, &mask_ad},
    {118, "SQL_SQL_CONFORMANCE", ZOLANDM_TR_INFO_ENUM, &enum_sc},
    {119, "SQL_DATETIME_LITERALS", ZOLANDM_TR_INFO_MASK, &mask_dl},
    {120, "SQL_BATCH_ROW_COUNT", ZOLANDM_TR_INFO_MASK, &mask_brc},
    {121, "SQL_BATCH_SUPPORT", ZOLANDM_TR_INFO_MASK, &mask_bs},
    {122, "SQL_CONVERT_WCHAR", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {123, "SQL_CONVERT_INTERVAL_DAY_TIME", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {124, "SQL_CONVERT_INTERVAL_YEAR_MONTH", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {125, "SQL_CONVERT_WLONGVARCHAR", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {126, "SQL_CONVERT_WVARCHAR", ZOLANDM_TR_INFO_MASK, &mask_cvt},
    {127, "SQL_CREATE_ASSERTION", ZOLANDM_TR_INFO_MASK, &mask_ca},
    {128, "SQL_CREATE_CHARACTER_SET", ZOLANDM_TR_INFO_MASK, &mask_css},
    {129, "SQL_CREATE_COLLATION", ZOLANDM_TR_INFO_MASK, &mask_ccol},
    {130, "SQL_CREATE_DOMAIN", ZOLANDM_TR_INFO_MASK, &mask_cdo},
    {131, "SQL_CREATE_SCHEMA", ZOLANDM_TR_INFO_MASK, &mask_cs},
    {132, "SQL_CREATE_TABLE", ZOLANDM_TR_INFO_MASK, &mask_ct},
    {133, "SQL_CREATE_TRANSLATION", ZOLANDM_TR_INFO_MASK, &mask_ctr},
    {134, "SQL_CREATE_VIEW", ZOLANDM_TR_INFO_MASK, &mask_cv},
    {136, "SQL_DROP_ASSERTION", ZOLANDM_TR_INFO_MASK, &mask_da},
    {137, "SQL_DROP_CHARACTER_SET", ZOLANDM_TR_INFO_MASK, &mask_dcs},
    {138, "SQL_DROP_COLLATION", ZOLANDM_TR_INFO_MASK, &mask_dc},
    {139, "SQL_DROP_DOMAIN", ZOLANDM_TR_INFO_MASK, &mask_dd},
    {140, "SQL_DROP_SCHEMA", ZOLANDM_TR_INFO_MASK, &mask_ds},
    {141, "SQL_DROP_TABLE", ZOLANDM_TR_INFO_MASK, &mask_dt},
    {142, "SQL_DROP_TRANSLATION", ZOLANDM_TR_INFO_MASK, &mask_dtr},
    {143, "SQL_DROP_VIEW", ZOLANDM_TR_INFO_MASK, &mask_dv},
    {144, "SQL_DYNAMIC_CURSOR_ATTRIBUTES1", ZOLANDM_TR_INFO_MASK, &mask_ca1},
    {145, "SQL_DYNAMIC_CURSOR_ATTRIBUTES2", ZOLANDM_TR_INFO_MASK, &mask_ca2},
    {146, "SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1", ZOLANDM_TR_INFO_MASK, &mask_ca1},
    {147, "SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2", ZOLANDM_TR_INFO_MASK, &mask_ca2},
    {148, "SQL_INDEX_KEYWORDS", ZOLANDM_TR_INFO_MASK, &mask_ik},
    {149, "SQL_INFO_SCHEMA_VIEWS", ZOLANDM_TR_INFO_MASK, &mask_isv},
    {150, "SQL_KEYSET_CURSOR_ATTRIBUTES1", ZOLANDM_TR_INFO_MASK, &mask_ca1},
    {151, "SQL_KEYSET_CURSOR_ATTRIBUTES2", ZOLANDM_TR_INFO_MASK, &mask_ca2},
    {152, "SQL_ODBC_INTERFACE_CONFORMANCE", ZOLANDM_TR_INFO_ENUM, &enum_oic},
    {153, "SQL_PARAM_ARRAY_ROW_COUNTS", ZOLANDM_TR_INFO_ENUM, &enum_parc},
    {154, "SQL_PARAM_ARRAY_SELECTS", ZOLANDM_TR_INFO_ENUM, &enum_pas},
    {155, "SQL_SQL92_DATETIME_FUNCTIONS", ZOLANDM_TR_INFO_MASK, &mask_sdf},
    {156, "SQL_SQL92_FOREIGN_KEY_DELETE_RULE", ZOLANDM_TR_INFO_MASK, &mask_sfkd},
    {157, "SQL_SQL92_FOREIGN_KEY_UPDATE_RULE", ZOLANDM_TR_INFO_MASK, &mask_sfku},
    {158, "SQL_SQL92_GRANT", ZOLANDM_TR_INFO_MASK, &mask_sg},
    {159, "SQL_SQL92_NUMERIC_VALUE_FUNCTIONS", ZOLANDM_TR_INFO_MASK, &mask_snvf},
    {160, "SQL_SQL92_PREDICATES", ZOLANDM_TR_INFO_MASK, &mask_sp},
    {161, "SQL_SQL92_RELATIONAL_JOIN_OPERATORS", ZOLANDM_TR_INFO_MASK, &mask_srjo},
    {162, "SQL_SQL92_REVOKE", ZOLANDM_TR_INFO_MASK, &mask_sr},
    {163, "SQL_SQL92_ROW_VALUE_CONSTRUCTOR", ZOLANDM_TR_INFO_MASK, &mask_srvc},
    {164, "SQL_SQL92_STRING_FUNCTIONS", ZOLANDM_TR_INFO_MASK, &mask_ssf},
    {165, "SQL_SQL92_VALUE_EXPRESSIONS", ZOLANDM_TR_INFO_MASK, &mask_sve},
    {166, "SQL_STANDARD_CLI_CONFORMANCE", ZOLANDM_TR_INFO_MASK, &mask_scc},
    {167, "SQL_STATIC_CURSOR_ATTRIBUTES1", ZOLANDM_TR_INFO_MASK, &mask_ca1},
    {168, "SQL_STATIC_CURSOR_ATTRIBUTES2", ZOLANDM_TR_INFO_MASK, &mask_ca2},
    {169, "SQL_AGGREGATE_FUNCTIONS", ZOLANDM_TR_INFO_MASK, &mask_af},
    {170, "SQL_DDL_INDEX", ZOLANDM_TR_INFO_MASK, &mask_di},
    {171, "SQL_DM_VER", ZOLANDM_TR_INFO_STRING, nullptr},
    {172, "SQL_INSERT_STATEMENT", ZOLANDM_TR_INFO_MASK, &mask_is},
    {1750, "SQL_DTC_TRANSITION_COST", ZOLANDM_TR_INFO_MASK, &mask_dtc},
    {10000, "SQL_XOPEN_CLI_YEAR", ZOLANDM_TR_INFO_STRING, nullptr},
    {10001, "SQL_CURSOR_SENSITIVITY", ZOLANDM_TR_INFO_ENUM, &enum_sensitivity},
    {10002, "SQL_DESCRIBE_PARAMETER", ZOLANDM_TR_INFO_STRING, nullptr},
    {10003, "SQL_CATALOG_NAME", ZOLANDM_TR_INFO_STRING, nullptr},
    {10004, "SQL_COLLATION_SEQ", ZOLANDM_TR_INFO_STRING, nullptr},
    {10005, "SQL_MAX_IDENTIFIER_LEN", ZOLANDM_TR_INFO_SHORT, nullptr},
    {10021, "SQL_ASYNC_MODE", ZOLANDM_TR_INFO_ENUM, &enum_am},
    {10022, "SQL_MAX_ASYNC_CONCURRENT_STATEMENTS", ZOLANDM_TR_INFO_LONG, nullptr},
};

}  // namespace

const zolandm_tr_info_type* _zolandm_tr_info_type_find(unsigned short type) {
  size_t low = 0, high = sizeof info_types / sizeof info_types[0];
  while (low < high) {
    size_t mid = (low + high) / 2;
    if (info_types[mid].type == type) return &info_types[mid];
    if (info_types[mid].type < type) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return nullptr;
}
