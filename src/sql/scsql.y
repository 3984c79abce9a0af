/* SQL grammar. Every rule builds a parse-tree node whose format rebuilds the
   construct's text from its children's texts (placeholder n = FF 01 n). The
   tree's shapes follow from how the grammar's conflicts resolve:

   Shift/reduce (4), resolved by shifting:
   - ORDER after the last clause of a SELECT expression (3 states: after the
     HAVING, UNION or WHERE part of a table expression, and after a derived
     table's correlation name): ORDER BY belongs to the table expression it
     ends, which after a UNION is the last SELECT's; the statement-level ORDER
     BY clause therefore stays empty. After a derived table's correlation name
     the parser puts it in the derived table's own slot; when that derived
     table ends the FROM list of a table expression with no clause of its own,
     the action of the table expression moves the clause to the table
     expression (scsql_HoistOrderBy), since that is the query it orders.
   - ',' after a derived table's ORDER BY list: the list goes on.
   Reduce/reduce: none. (A subquery right after a comparison operator could be
   reduced either as the comparison's operand or as a primary; the grammar has
   the one rule, and its action keeps a bare subquery as the comparison's own
   operand, EXPR_COMPARISON_PREDICATE over EXPR_SUB_QUERY.)
   AND, OR and NOT are settled by precedence: NOT binds tighter than AND, AND
   tighter than OR; AND and OR group from the left. */

%code requires {
#include "sql/parse_tree.h"
/* The semantic values are plain pointers: the parser may grow its stack with
   memcpy even when compiled as C++ (1000 nested parentheses must parse). */
#define SCSQL_STYPE_IS_TRIVIAL 1
struct ScsqlCtx;
typedef void *yyscan_t;
}

%code top {
#include <cstdlib>
#include <cstring>
}

%code {
#include "sql/parser_ctx.h"
#include "sql/sql_template.h"
int scsql_lex(SCSQL_STYPE *yylval, yyscan_t scanner);
void scsql_end_sql(yyscan_t scanner);
static void scsql_error(yyscan_t, ScsqlCtx *ctx, const char *msg) { scsql_Report(ctx, msg); }

#define A1 SQLT_ARG(\x01)
#define A2 SQLT_ARG(\x02)
#define A3 SQLT_ARG(\x03)
#define A4 SQLT_ARG(\x04)
#define A5 SQLT_ARG(\x05)
#define A6 SQLT_ARG(\x06)
/* Every node made is checked; a node that cannot be made ends the parse as
   "memory exhausted". */
#define MK(lhs, expr)              \
  do {                             \
    (lhs) = (expr);                \
    if (!(lhs)) YYNOMEM;           \
    ctx->root = (lhs);             \
  } while (0)
/* Nodes live in the parse's arena. Formats and fixed labels are literals
   (their length known here); a token's leaf borrows the token's text, which
   the scanner put in the same arena. */
#define LEAF(k, s) pt_arenaLeaf(ctx->arena, k, "" s, sizeof("" s) - 1, false)
#define TLEAF(k, sym) pt_arenaLeaf(ctx->arena, k, (sym)->szLabel, 0, true)
#define UN(k, f, c) pt_arenaNode(ctx->arena, k, "" f, sizeof("" f) - 1, 1, c)
#define ND(k, f, n, ...) pt_arenaNode(ctx->arena, k, "" f, sizeof("" f) - 1, n, __VA_ARGS__)
}

%define api.pure full
%define api.prefix {scsql_}
%define api.token.prefix {TK_}
%param {yyscan_t scanner}
%parse-param {ScsqlCtx *ctx}

%union {
  symbol_t *pSYM;
  PRSTR_NODE *pPTN;
}

%token <pSYM> NAME INTNUM DECNUM APPROXNUM HEXNUM STRING AMMSC COMPARISON OLD_OUTER_JOIN
%token <pSYM> ESCAPE_CLAUSE DATE_LITERAL TIME_LITERAL TIMESTAMP_LITERAL
%token PROC_WORD CALL_ESCAPE SELECT UPDATE DELETE INSERT
%token ALL AND ANY AS ASC BETWEEN BY CASE CURRENT DESC DISTINCT ELSE END EXISTS FN FROM
%token GROUP HAVING IN INTO IS JOIN LIKE NOT NULL OF OJ ON OR OUTER PERCENT SET THEN TIES
%token TOP UNION USER VALUES WHEN WHERE WITH FULL LEFT RIGHT INNER ORDER CONCAT PARAM
%token ESC_OPEN ESC_CLOSE VENDOR_ESC_OPEN VENDOR_ESC_CLOSE LEXERR

%left OR
%left AND
%precedence NOT

%type <pPTN> sql manipulative_statement delete_positioned delete_searched insert_statement
%type <pPTN> values_or_query select_statement select_exp opt_all_distinct opt_percent opt_ties
%type <pPTN> opt_top update_positioned assignment_commalist assignment update_searched
%type <pPTN> opt_where_clause select_list table_exp table_reference_list table_ref
%type <pPTN> opt_corr_name joined_table qualified_join join_type inner_join outer_join_word
%type <pPTN> opt_outer where_clause opt_group_by_clause column_ref_commalist opt_having_clause
%type <pPTN> opt_order_by_clause opt_union_clause opt_column_commalist union_clause
%type <pPTN> order_by_clause sort_spec_commalist sort_specification opt_asc_desc
%type <pPTN> search_condition predicate old_outer_join comparison_predicate between_predicate
%type <pPTN> like_predicate opt_odbc_like_escape escape null_predicate in_predicate
%type <pPTN> value_commalist quantified_predicate any_all exists_predicate sub_query
%type <pPTN> expression term factor primary opt_as select_sublist value pattern_value
%type <pPTN> set_function_ref literal table_name column_name table_identifier
%type <pPTN> column_identifier column_alias cursor_name dynamic_parameter correlation_name
%type <pPTN> uns_int comparison ammsc odbc_date_time_ext odbc_date_literal odbc_time_literal
%type <pPTN> odbc_timestamp_literal date_value time_value timestamp_value odbc_join_ext
%type <pPTN> odbc_scalar_fn_ext scalar_fn function_name argument_list esc_open esc_close
%type <pPTN> vendor_open vendor_close simple_case simple_when_list simple_when searched_case
%type <pPTN> searched_when_list searched_when wildcard_item qualifier_pair


%expect 4
%expect-rr 0

%start sql

%%

sql
  : PROC_WORD                 { MK($$, LEAF(EXPR_OTHER, "")); }
  | CALL_ESCAPE               { MK($$, LEAF(EXPR_PROCCALL, "")); }
  | manipulative_statement    { scsql_end_sql(scanner); $$ = $1; ctx->root = $1; }
  ;

manipulative_statement
  : delete_positioned | delete_searched | insert_statement | select_statement
  | update_positioned | update_searched
  ;

delete_positioned
  : DELETE FROM table_name WHERE CURRENT OF cursor_name
      { MK($$, ND(EXPR_DELETE_STATEMENT_POSITIONED, "DELETE FROM " A1 " WHERE CURRENT OF " A2, 2, $3, $7)); }
  ;

delete_searched
  : DELETE FROM table_name opt_where_clause
      { MK($$, ND(EXPR_DELETE_STATEMENT_SEARCHED, "DELETE FROM " A1 " " A2, 2, $3, $4)); }
  ;

insert_statement
  : INSERT INTO table_name opt_column_commalist values_or_query
      { MK($$, ND(EXPR_INSERT_STATEMENT, "INSERT INTO " A1 " " A2 " " A3, 3, $3, $4, $5)); }
  ;

values_or_query
  : VALUES '(' value_commalist ')'  { MK($$, UN(EXPR_VALUESORQUERY, A1, $3)); }
  | select_exp                      { MK($$, UN(EXPR_VALUESORQUERY, A1, $1)); }
  ;

select_statement
  : select_exp opt_order_by_clause  { MK($$, ND(EXPR_SELECT_STATEMENT, A1 " " A2, 2, $1, $2)); }
  ;

select_exp
  : SELECT opt_top select_list table_exp
      { MK($$, ND(EXPR_SELECT_EXP, "SELECT " A1 " " A2 " " A3, 3, $2, $3, $4)); }
  ;

opt_all_distinct
  : %empty      { MK($$, LEAF(EXPR_OPT_ALL_DISTINCT, "")); }
  | ALL         { MK($$, LEAF(EXPR_OPT_ALL_DISTINCT, "ALL")); }
  | DISTINCT    { MK($$, LEAF(EXPR_OPT_ALL_DISTINCT, "DISTINCT")); }
  ;

opt_percent
  : %empty      { MK($$, LEAF(EXPR_OPT_TOP, "")); }
  | PERCENT     { MK($$, LEAF(EXPR_OPT_TOP, "PERCENT")); }
  ;

opt_ties
  : %empty      { MK($$, LEAF(EXPR_OPT_TOP, "")); }
  | WITH TIES   { MK($$, LEAF(EXPR_OPT_TOP, "WITH TIES")); }
  ;

opt_top
  : opt_all_distinct
      { MK($$, UN(EXPR_OPT_TOP, A1, $1)); }
  | opt_all_distinct TOP uns_int opt_percent opt_ties
      { MK($$, ND(EXPR_OPT_TOP, A1 " TOP " A2 " " A3 " " A4, 4, $1, $3, $4, $5)); }
  | opt_all_distinct TOP uns_int ',' uns_int opt_percent opt_ties
      { MK($$, ND(EXPR_OPT_TOP, A1 " TOP " A2 "," A3 " " A4 " " A5, 5, $1, $3, $5, $6, $7)); }
  | opt_all_distinct TOP '(' expression ')' opt_percent opt_ties
      { MK($$, ND(EXPR_OPT_TOP, A1 " TOP (" A2 ") " A3 " " A4, 4, $1, $4, $6, $7)); }
  | opt_all_distinct TOP '(' expression ',' expression ')' opt_percent opt_ties
      { MK($$, ND(EXPR_OPT_TOP, A1 " TOP (" A2 ", " A3 ") " A4 " " A5, 5, $1, $4, $6, $8, $9)); }
  ;

update_positioned
  : UPDATE table_name SET assignment_commalist WHERE CURRENT OF cursor_name
      { MK($$, ND(EXPR_UPDATE_STATEMENT_POSITIONED, "UPDATE " A1 " SET " A2 " WHERE CURRENT OF " A3, 3, $2, $4, $8)); }
  ;

assignment_commalist
  : assignment                            { MK($$, UN(EXPR_ASSIGNMENT_COMMALIST, A1, $1)); }
  | assignment_commalist ',' assignment   { MK($$, ND(EXPR_ASSIGNMENT_COMMALIST, A1 ", " A2, 2, $1, $3)); }
  ;

assignment
  : column_identifier COMPARISON expression  { MK($$, ND(EXPR_ASSIGNMENT, A1 " = " A2, 2, $1, $3)); }
  | column_identifier COMPARISON NULL        { MK($$, UN(EXPR_ASSIGNMENT, A1 " = NULL", $1)); }
  ;

update_searched
  : UPDATE table_name FROM table_reference_list SET assignment_commalist opt_where_clause
      { MK($$, ND(EXPR_UPDATE_STATEMENT_SEARCHED, "UPDATE " A1 " FROM " A2 " SET " A3 " " A4, 4, $2, $4, $6, $7)); }
  | UPDATE table_name SET assignment_commalist FROM table_reference_list opt_where_clause
      { MK($$, ND(EXPR_UPDATE_STATEMENT_SEARCHED, "UPDATE " A1 " SET " A2 " FROM " A3 " " A4, 4, $2, $4, $6, $7)); }
  | UPDATE table_name SET assignment_commalist opt_where_clause
      { MK($$, ND(EXPR_UPDATE_STATEMENT_SEARCHED, "UPDATE " A1 " SET " A2 " " A3, 3, $2, $4, $5)); }
  ;

opt_where_clause
  : %empty        { MK($$, LEAF(EXPR_OPT_WHERE_CLAUSE, "")); }
  | where_clause  { MK($$, UN(EXPR_OPT_WHERE_CLAUSE, A1, $1)); }
  ;

select_list
  : select_sublist                  { MK($$, UN(EXPR_SELECT_LIST, A1, $1)); }
  | select_list ',' select_sublist  { MK($$, ND(EXPR_SELECT_LIST, A1 ", " A2, 2, $1, $3)); }
  | '*'                             { MK($$, LEAF(EXPR_SELECT_LIST, "*")); }
  ;

table_exp
  : opt_where_clause opt_group_by_clause opt_having_clause opt_union_clause opt_order_by_clause
      { MK($$, ND(EXPR_TABLE_EXP, A1 " " A2 " " A3 " " A4 " " A5, 5, $1, $2, $3, $4, $5)); }
  | FROM table_reference_list opt_where_clause opt_group_by_clause opt_having_clause
    opt_union_clause opt_order_by_clause
      {
        PRSTR_NODE *order = scsql_HoistOrderBy($2, $3, $4, $5, $6, $7);
        MK($$, ND(EXPR_TABLE_EXP, "FROM " A1 " " A2 " " A3 " " A4 " " A5 " " A6, 6, $2, $3, $4, $5, $6, order));
      }
  ;

table_reference_list
  : table_ref                           { MK($$, UN(EXPR_TABLE_REFERENCE_LIST, A1, $1)); }
  | table_reference_list ',' table_ref  { MK($$, ND(EXPR_TABLE_REFERENCE_LIST, A1 ", " A2, 2, $1, $3)); }
  ;

table_ref
  : opt_corr_name   { MK($$, UN(EXPR_TABLE_REF, A1, $1)); }
  | odbc_join_ext   { MK($$, UN(EXPR_TABLE_REF, A1, $1)); }
  | joined_table    { MK($$, UN(EXPR_TABLE_REF, A1, $1)); }
  ;

opt_corr_name
  : table_name                            { MK($$, UN(EXPR_OPT_CORR_NAME, A1, $1)); }
  | table_name opt_as correlation_name    { MK($$, ND(EXPR_OPT_CORR_NAME, A1 " " A2 " " A3, 3, $1, $2, $3)); }
  ;

joined_table
  : qualified_join    { MK($$, UN(EXPR_JOINED_TABLE, A1, $1)); }
  | '(' select_exp ')' opt_as correlation_name opt_order_by_clause
      { MK($$, ND(EXPR_JOINED_TABLE, "( " A1 " ) " A2 " " A3 " " A4, 4, $2, $4, $5, $6)); }
  | '(' joined_table ')'  { MK($$, UN(EXPR_JOINED_TABLE, "( " A1 " )", $2)); }
  ;

qualified_join
  : table_ref join_type JOIN table_ref ON search_condition
      { MK($$, ND(EXPR_QUALIFIED_JOIN, A1 " " A2 " JOIN " A3 " ON " A4, 4, $1, $2, $4, $6)); }
  ;

join_type
  : inner_join                  { MK($$, UN(EXPR_JOIN_TYPE, A1, $1)); }
  | outer_join_word opt_outer   { MK($$, ND(EXPR_JOIN_TYPE, A1 " " A2, 2, $1, $2)); }
  ;

inner_join : INNER  { MK($$, LEAF(EXPR_INNER_JOIN, "INNER")); } ;

outer_join_word
  : LEFT    { MK($$, LEAF(EXPR_OUTER_JOIN_TYPE, "LEFT")); }
  | RIGHT   { MK($$, LEAF(EXPR_OUTER_JOIN_TYPE, "RIGHT")); }
  | FULL    { MK($$, LEAF(EXPR_OUTER_JOIN_TYPE, "FULL")); }
  ;

opt_outer
  : %empty  { MK($$, LEAF(EXPR_OPT_OUTER, "")); }
  | OUTER   { MK($$, LEAF(EXPR_OPT_OUTER, "OUTER")); }
  ;

where_clause : WHERE search_condition  { MK($$, UN(EXPR_WHERE_CLAUSE, "WHERE " A1, $2)); } ;

opt_group_by_clause
  : %empty                          { MK($$, LEAF(EXPR_OPT_GROUP_BY_CLAUSE, "")); }
  | GROUP BY column_ref_commalist   { MK($$, UN(EXPR_OPT_GROUP_BY_CLAUSE, "GROUP BY " A1, $3)); }
  ;

column_ref_commalist
  : column_name                           { MK($$, UN(EXPR_COLUMN_REF_COMMALIST, A1, $1)); }
  | column_ref_commalist ',' column_name  { MK($$, ND(EXPR_COLUMN_REF_COMMALIST, A1 ", " A2, 2, $1, $3)); }
  ;

opt_having_clause
  : %empty                    { MK($$, LEAF(EXPR_OPT_HAVING_CLAUSE, "")); }
  | HAVING search_condition   { MK($$, UN(EXPR_OPT_HAVING_CLAUSE, "HAVING " A1, $2)); }
  ;

opt_order_by_clause
  : %empty            { MK($$, LEAF(EXPR_OPT_ORDER_BY_CLAUSE, "")); }
  | order_by_clause   { MK($$, UN(EXPR_OPT_ORDER_BY_CLAUSE, A1, $1)); }
  ;

opt_union_clause
  : %empty          { MK($$, LEAF(EXPR_OPT_UNION_CLAUSE, "")); }
  | union_clause    { MK($$, UN(EXPR_OPT_UNION_CLAUSE, A1, $1)); }
  ;

opt_column_commalist
  : %empty                          { MK($$, LEAF(EXPR_OPT_COLUMN_COMMALIST, "")); }
  | '(' column_ref_commalist ')'    { MK($$, UN(EXPR_OPT_COLUMN_COMMALIST, "( " A1 " )", $2)); }
  ;

union_clause
  : UNION select_exp        { MK($$, UN(EXPR_UNION_CLAUSE, "UNION " A1, $2)); }
  | UNION ALL select_exp    { MK($$, UN(EXPR_UNION_CLAUSE, "UNION ALL " A1, $3)); }
  ;

order_by_clause
  : ORDER BY sort_spec_commalist  { MK($$, UN(EXPR_ORDER_BY_CLAUSE, "ORDER BY " A1, $3)); }
  ;

sort_spec_commalist
  : sort_specification                          { MK($$, UN(EXPR_SORT_SPEC_COMMALIST, A1, $1)); }
  | sort_spec_commalist ',' sort_specification  { MK($$, ND(EXPR_SORT_SPEC_COMMALIST, A1 ", " A2, 2, $1, $3)); }
  ;

sort_specification
  : uns_int opt_asc_desc      { MK($$, ND(EXPR_SORT_SPECIFICATION, A1 " " A2, 2, $1, $2)); }
  | column_name opt_asc_desc  { MK($$, ND(EXPR_SORT_SPECIFICATION, A1 " " A2, 2, $1, $2)); }
  ;

opt_asc_desc
  : %empty  { MK($$, LEAF(EXPR_OPT_ASC_DESC, "")); }
  | ASC     { MK($$, LEAF(EXPR_OPT_ASC_DESC, "ASC")); }
  | DESC    { MK($$, LEAF(EXPR_OPT_ASC_DESC, "DESC")); }
  ;

search_condition
  : %empty                                      { MK($$, LEAF(EXPR_SEARCH_CONDITION, "")); }
  | search_condition OR search_condition        { MK($$, ND(EXPR_SEARCH_CONDITION, A1 " OR " A2, 2, $1, $3)); }
  | search_condition AND search_condition       { MK($$, ND(EXPR_SEARCH_CONDITION, A1 " AND " A2, 2, $1, $3)); }
  | NOT search_condition                        { MK($$, UN(EXPR_SEARCH_CONDITION, "NOT " A1, $2)); }
  | '(' search_condition ')'                    { MK($$, UN(EXPR_SEARCH_CONDITION, "( " A1 " )", $2)); }
  | predicate                                   { MK($$, UN(EXPR_SEARCH_CONDITION, A1, $1)); }
  ;

predicate
  : comparison_predicate  { MK($$, UN(EXPR_PREDICATE, A1, $1)); }
  | between_predicate     { MK($$, UN(EXPR_PREDICATE, A1, $1)); }
  | like_predicate        { MK($$, UN(EXPR_PREDICATE, A1, $1)); }
  | null_predicate        { MK($$, UN(EXPR_PREDICATE, A1, $1)); }
  | in_predicate          { MK($$, UN(EXPR_PREDICATE, A1, $1)); }
  | quantified_predicate  { MK($$, UN(EXPR_PREDICATE, A1, $1)); }
  | exists_predicate      { MK($$, UN(EXPR_PREDICATE, A1, $1)); }
  | old_outer_join        { MK($$, UN(EXPR_PREDICATE, A1, $1)); }
  ;

old_outer_join
  : column_name OLD_OUTER_JOIN column_name
      {
        PRSTR_NODE *op;
        MK(op, TLEAF(EXPR_OUTER_JOIN_TYPE, $2));
        MK($$, ND(EXPR_SQLSERVER_OLD_OUTER_JOIN, A1 " " A2 " " A3, 3, $1, op, $3));
      }
  ;

comparison_predicate
  : expression comparison expression
      {
        /* A bare subquery operand is the comparison's own operand. */
        PRSTR_NODE *rhs = scsql_BareSubquery(ctx, $3);
        MK($$, ND(EXPR_COMPARISON_PREDICATE, A1 " " A2 " " A3, 3, $1, $2, rhs));
      }
  ;

between_predicate
  : expression NOT BETWEEN expression AND expression
      { MK($$, ND(EXPR_BETWEEN_PREDICATE, A1 " NOT BETWEEN " A2 " AND " A3, 3, $1, $4, $6)); }
  | expression BETWEEN expression AND expression
      { MK($$, ND(EXPR_BETWEEN_PREDICATE, A1 " BETWEEN " A2 " AND " A3, 3, $1, $3, $5)); }
  ;

like_predicate
  : expression NOT LIKE pattern_value opt_odbc_like_escape
      { MK($$, ND(EXPR_LIKE_PREDICATE, A1 " NOT LIKE " A2 " " A3, 3, $1, $4, $5)); }
  | expression LIKE pattern_value opt_odbc_like_escape
      { MK($$, ND(EXPR_LIKE_PREDICATE, A1 " LIKE " A2 " " A3, 3, $1, $3, $4)); }
  ;

opt_odbc_like_escape
  : %empty                              { MK($$, LEAF(EXPR_OPT_ODBC_LIKE_ESCAPE, "")); }
  | escape                              { MK($$, UN(EXPR_OPT_ODBC_LIKE_ESCAPE, A1, $1)); }
  | vendor_open escape vendor_close     { MK($$, ND(EXPR_OPT_ODBC_LIKE_ESCAPE, A1 " " A2 " " A3, 3, $1, $2, $3)); }
  | esc_open escape esc_close           { MK($$, ND(EXPR_OPT_ODBC_LIKE_ESCAPE, A1 " " A2 " " A3, 3, $1, $2, $3)); }
  ;

escape : ESCAPE_CLAUSE  { MK($$, TLEAF(EXPR_ESCAPE, $1)); } ;

null_predicate
  : column_name IS NOT NULL   { MK($$, UN(EXPR_NULL_PREDICATE, A1 " IS NOT NULL", $1)); }
  | column_name IS NULL       { MK($$, UN(EXPR_NULL_PREDICATE, A1 " IS NULL", $1)); }
  | value IS NOT NULL         { MK($$, UN(EXPR_NULL_PREDICATE, A1 " IS NOT NULL", $1)); }
  | value IS NULL             { MK($$, UN(EXPR_NULL_PREDICATE, A1 " IS NULL", $1)); }
  ;

in_predicate
  : expression NOT IN sub_query                 { MK($$, ND(EXPR_IN_PREDICATE, A1 " NOT IN " A2, 2, $1, $4)); }
  | expression IN sub_query                     { MK($$, ND(EXPR_IN_PREDICATE, A1 " IN " A2, 2, $1, $3)); }
  | expression NOT IN '(' value_commalist ')'   { MK($$, ND(EXPR_IN_PREDICATE, A1 " NOT IN ( " A2 " )", 2, $1, $5)); }
  | expression IN '(' value_commalist ')'       { MK($$, ND(EXPR_IN_PREDICATE, A1 " IN ( " A2 " )", 2, $1, $4)); }
  ;

value_commalist
  : value                       { MK($$, UN(EXPR_VALUE_COMMALIST, A1, $1)); }
  | value_commalist ',' value   { MK($$, ND(EXPR_VALUE_COMMALIST, A1 ", " A2, 2, $1, $3)); }
  ;

quantified_predicate
  : expression comparison any_all sub_query
      { MK($$, ND(EXPR_QUANTIFIED_PREDICATE, A1 " " A2 " " A3 " " A4, 4, $1, $2, $3, $4)); }
  ;

any_all
  : ANY   { MK($$, LEAF(EXPR_ANY_ALL, "ANY")); }
  | ALL   { MK($$, LEAF(EXPR_ANY_ALL, "ALL")); }
  ;

exists_predicate : EXISTS sub_query  { MK($$, UN(EXPR_EXISTS_PREDICATE, "EXISTS " A1, $2)); } ;

sub_query
  : '(' SELECT opt_all_distinct select_list FROM table_reference_list opt_where_clause
    opt_group_by_clause opt_having_clause ')'
      { MK($$, ND(EXPR_SUB_QUERY, "( SELECT " A1 " " A2 " FROM " A3 " " A4 " " A5 " " A6 " )", 6, $3, $4, $6, $7, $8, $9)); }
  ;

expression
  : term                        { MK($$, UN(EXPR_EXPRESSION, A1, $1)); }
  | expression CONCAT term      { MK($$, ND(EXPR_EXPRESSION, A1 " || " A2, 2, $1, $3)); }
  | expression '+' term         { MK($$, ND(EXPR_EXPRESSION, A1 " + " A2, 2, $1, $3)); }
  | expression '-' term         { MK($$, ND(EXPR_EXPRESSION, A1 " - " A2, 2, $1, $3)); }
  | simple_case                 { MK($$, UN(EXPR_EXPRESSION, A1, $1)); }
  | searched_case               { MK($$, UN(EXPR_EXPRESSION, A1, $1)); }
  ;

term
  : factor            { MK($$, UN(EXPR_TERM, A1, $1)); }
  | term '*' factor   { MK($$, ND(EXPR_TERM, A1 " * " A2, 2, $1, $3)); }
  | term '/' factor   { MK($$, ND(EXPR_TERM, A1 " / " A2, 2, $1, $3)); }
  ;

factor
  : primary       { MK($$, UN(EXPR_FACTOR, A1, $1)); }
  | '+' primary   { MK($$, UN(EXPR_FACTOR, "+" A1, $2)); }
  | '-' primary   { MK($$, UN(EXPR_FACTOR, "-" A1, $2)); }
  ;

primary
  : column_name           { MK($$, UN(EXPR_PRIMARY, A1, $1)); }
  | dynamic_parameter     { MK($$, UN(EXPR_PRIMARY, A1, $1)); }
  | literal               { MK($$, UN(EXPR_PRIMARY, A1, $1)); }
  | odbc_scalar_fn_ext    { MK($$, UN(EXPR_PRIMARY, A1, $1)); }
  | scalar_fn             { MK($$, UN(EXPR_PRIMARY, A1, $1)); }
  | set_function_ref      { MK($$, UN(EXPR_PRIMARY, A1, $1)); }
  | USER                  { MK($$, LEAF(EXPR_PRIMARY, "USER")); }
  | sub_query             { MK($$, UN(EXPR_PRIMARY, A1, $1)); }
  | '(' expression ')'    { MK($$, UN(EXPR_PRIMARY, "( " A1 " )", $2)); }
  ;

opt_as
  : %empty  { MK($$, LEAF(EXPR_OPT_AS, "")); }
  | AS      { MK($$, LEAF(EXPR_OPT_AS, "AS")); }
  ;

select_sublist
  : expression                        { MK($$, UN(EXPR_SELECT_SUBLIST, A1, $1)); }
  | expression opt_as column_alias    { MK($$, ND(EXPR_SELECT_SUBLIST, A1 " " A2 " " A3, 3, $1, $2, $3)); }
  | wildcard_item                     { MK($$, UN(EXPR_SELECT_SUBLIST, A1 ".*", $1)); }
  ;

qualifier_pair
  : NAME '@' NAME
      {
        PRSTR_NODE *a, *b;
        MK(a, TLEAF(EXPR_QUALIFIER_NAME_COMPONENT, $1));
        MK(b, TLEAF(EXPR_QUALIFIER_NAME_COMPONENT, $3));
        MK($$, ND(EXPR_QUALIFIER_NAME, A1 "@" A2, 2, a, b));
      }
  ;

wildcard_item
  : NAME '.' '*'
      { PRSTR_NODE *a; MK(a, TLEAF(EXPR_TABLE_IDENTIFIER, $1)); MK($$, UN(EXPR_TABLE_NAME, A1, a)); }
  | NAME '.' NAME '.' '*'
      {
        PRSTR_NODE *a, *b;
        MK(a, TLEAF(EXPR_OWNER_NAME, $1));
        MK(b, TLEAF(EXPR_TABLE_IDENTIFIER, $3));
        MK($$, ND(EXPR_TABLE_NAME, A1 "." A2, 2, a, b));
      }
  | NAME '.' NAME '.' NAME '.' '*'
      {
        PRSTR_NODE *a, *b, *c;
        MK(a, TLEAF(EXPR_QUALIFIER_NAME, $1));
        MK(b, TLEAF(EXPR_OWNER_NAME, $3));
        MK(c, TLEAF(EXPR_TABLE_IDENTIFIER, $5));
        MK($$, ND(EXPR_TABLE_NAME, A1 "." A2 "." A3, 3, a, b, c));
      }
  | NAME '.' '.' NAME '.' '*'
      {
        PRSTR_NODE *a, *b;
        MK(a, TLEAF(EXPR_QUALIFIER_NAME, $1));
        MK(b, TLEAF(EXPR_TABLE_NAME, $4));
        MK($$, ND(EXPR_TABLE_NAME, A1 ".." A2, 2, a, b));
      }
  | NAME ':' NAME '.' '*'
      {
        PRSTR_NODE *a, *b;
        MK(a, TLEAF(EXPR_QUALIFIER_NAME, $1));
        MK(b, TLEAF(EXPR_TABLE_NAME, $3));
        MK($$, ND(EXPR_TABLE_NAME, A1 ":" A2, 2, a, b));
      }
  | NAME ':' NAME '.' NAME '.' '*'
      {
        PRSTR_NODE *a, *b, *c;
        MK(a, TLEAF(EXPR_QUALIFIER_NAME, $1));
        MK(b, TLEAF(EXPR_OWNER_NAME, $3));
        MK(c, TLEAF(EXPR_TABLE_IDENTIFIER, $5));
        MK($$, ND(EXPR_TABLE_NAME, A1 ":" A2 "." A3, 3, a, b, c));
      }
  | qualifier_pair ':' NAME '.' NAME '.' '*'
      {
        PRSTR_NODE *b, *c;
        MK(b, TLEAF(EXPR_OWNER_NAME, $3));
        MK(c, TLEAF(EXPR_TABLE_IDENTIFIER, $5));
        MK($$, ND(EXPR_TABLE_NAME, A1 ":" A2 "." A3, 3, $1, b, c));
      }
  | qualifier_pair ':' NAME '.' '*'
      {
        PRSTR_NODE *c;
        MK(c, TLEAF(EXPR_TABLE_IDENTIFIER, $3));
        MK($$, ND(EXPR_TABLE_NAME, A1 ":" A2, 2, $1, c));
      }
  ;

value
  : dynamic_parameter   { MK($$, UN(EXPR_VALUE, A1, $1)); }
  | literal             { MK($$, UN(EXPR_VALUE, A1, $1)); }
  | USER                { MK($$, LEAF(EXPR_VALUE, "USER")); }
  ;

pattern_value
  : dynamic_parameter   { MK($$, UN(EXPR_PATTERN_VALUE, A1, $1)); }
  | STRING              { MK($$, TLEAF(EXPR_PATTERN_VALUE, $1)); }
  | USER                { MK($$, LEAF(EXPR_PATTERN_VALUE, "USER")); }
  ;

set_function_ref
  : ammsc '(' '*' ')'
      { scsql_DropNode(ctx, $1); MK($$, LEAF(EXPR_SET_FUNCTION_REF, "COUNT (*)")); }
  | ammsc '(' DISTINCT column_name ')'
      { MK($$, ND(EXPR_SET_FUNCTION_REF, A1 "( DISTINCT " A2 " )", 2, $1, $4)); }
  | ammsc '(' expression ')'
      { MK($$, ND(EXPR_SET_FUNCTION_REF, A1 "( " A2 " )", 2, $1, $3)); }
  ;

literal
  : STRING                { MK($$, TLEAF(EXPR_LITERAL, $1)); }
  | uns_int               { MK($$, UN(EXPR_LITERAL, A1, $1)); }
  | DECNUM                { MK($$, TLEAF(EXPR_LITERAL, $1)); }
  | APPROXNUM             { MK($$, TLEAF(EXPR_LITERAL, $1)); }
  | odbc_date_time_ext    { MK($$, UN(EXPR_LITERAL, A1, $1)); }
  | HEXNUM                { MK($$, TLEAF(EXPR_BINARY_LITERAL, $1)); }
  ;

table_name
  : table_identifier      { MK($$, UN(EXPR_TABLE_NAME, A1, $1)); }
  | NAME '.' NAME
      {
        PRSTR_NODE *a, *b;
        MK(a, TLEAF(EXPR_QUALIFIER_NAME, $1));
        MK(b, TLEAF(EXPR_TABLE_IDENTIFIER, $3));
        MK($$, ND(EXPR_TABLE_NAME, A1 "." A2, 2, a, b));
      }
  | NAME '.' '.' NAME
      {
        PRSTR_NODE *a, *b;
        MK(a, TLEAF(EXPR_QUALIFIER_NAME, $1));
        MK(b, TLEAF(EXPR_TABLE_IDENTIFIER, $4));
        MK($$, ND(EXPR_TABLE_NAME, A1 ".." A2, 2, a, b));
      }
  | NAME '.' NAME '.' NAME
      {
        PRSTR_NODE *a, *b, *c;
        MK(a, TLEAF(EXPR_QUALIFIER_NAME, $1));
        MK(b, TLEAF(EXPR_OWNER_NAME, $3));
        MK(c, TLEAF(EXPR_TABLE_IDENTIFIER, $5));
        MK($$, ND(EXPR_TABLE_NAME, A1 "." A2 "." A3, 3, a, b, c));
      }
  | NAME '@' NAME
      {
        PRSTR_NODE *a, *b;
        MK(a, TLEAF(EXPR_TABLE_IDENTIFIER, $1));
        MK(b, TLEAF(EXPR_QUALIFIER_NAME, $3));
        MK($$, ND(EXPR_TABLE_NAME, A1 "@" A2, 2, a, b));
      }
  | NAME '.' NAME '@' NAME
      {
        PRSTR_NODE *a, *b, *c;
        MK(a, TLEAF(EXPR_OWNER_NAME, $1));
        MK(b, TLEAF(EXPR_TABLE_IDENTIFIER, $3));
        MK(c, TLEAF(EXPR_QUALIFIER_NAME, $5));
        MK($$, ND(EXPR_TABLE_NAME, A1 "." A2 "@" A3, 3, a, b, c));
      }
  | NAME ':' NAME
      {
        PRSTR_NODE *a, *b;
        MK(a, TLEAF(EXPR_QUALIFIER_NAME, $1));
        MK(b, TLEAF(EXPR_TABLE_IDENTIFIER, $3));
        MK($$, ND(EXPR_TABLE_NAME, A1 ":" A2, 2, a, b));
      }
  | qualifier_pair ':' NAME
      {
        PRSTR_NODE *c;
        MK(c, TLEAF(EXPR_TABLE_IDENTIFIER, $3));
        MK($$, ND(EXPR_TABLE_NAME, A1 ":" A2, 2, $1, c));
      }
  | NAME ':' NAME '.' NAME
      {
        PRSTR_NODE *a, *b, *c;
        MK(a, TLEAF(EXPR_QUALIFIER_NAME, $1));
        MK(b, TLEAF(EXPR_OWNER_NAME, $3));
        MK(c, TLEAF(EXPR_TABLE_IDENTIFIER, $5));
        MK($$, ND(EXPR_TABLE_NAME, A1 ":" A2 "." A3, 3, a, b, c));
      }
  | qualifier_pair ':' NAME '.' NAME
      {
        PRSTR_NODE *b, *c;
        MK(b, TLEAF(EXPR_OWNER_NAME, $3));
        MK(c, TLEAF(EXPR_TABLE_IDENTIFIER, $5));
        MK($$, ND(EXPR_TABLE_NAME, A1 ":" A2 "." A3, 3, $1, b, c));
      }
  ;

column_name
  : column_identifier   { MK($$, UN(EXPR_COLUMN_NAME, A1, $1)); }
  | NAME '.' NAME
      {
        PRSTR_NODE *a, *b;
        MK(a, TLEAF(EXPR_TABLE_IDENTIFIER, $1));
        MK(b, TLEAF(EXPR_COLUMN_IDENTIFIER, $3));
        MK($$, ND(EXPR_COLUMN_NAME, A1 "." A2, 2, a, b));
      }
  | NAME '.' NAME '.' NAME
      {
        PRSTR_NODE *a, *b, *c;
        MK(a, TLEAF(EXPR_OWNER_NAME, $1));
        MK(b, TLEAF(EXPR_TABLE_IDENTIFIER, $3));
        MK(c, TLEAF(EXPR_COLUMN_IDENTIFIER, $5));
        MK($$, ND(EXPR_COLUMN_NAME, A1 "." A2 "." A3, 3, a, b, c));
      }
  ;

table_identifier : NAME   { MK($$, TLEAF(EXPR_TABLE_IDENTIFIER, $1)); } ;
column_identifier : NAME  { MK($$, TLEAF(EXPR_COLUMN_IDENTIFIER, $1)); } ;
column_alias : NAME       { MK($$, TLEAF(EXPR_COLUMN_ALIAS, $1)); } ;
cursor_name : NAME        { MK($$, TLEAF(EXPR_CURSOR_NAME, $1)); } ;
dynamic_parameter : PARAM { MK($$, LEAF(EXPR_DYNAMIC_PARAMETER, "?")); } ;
correlation_name : NAME   { MK($$, TLEAF(EXPR_CORRELATION_NAME, $1)); } ;
uns_int : INTNUM          { MK($$, TLEAF(EXPR_UNS_INT, $1)); } ;
comparison : COMPARISON   { MK($$, TLEAF(EXPR_COMPARISON, $1)); } ;
ammsc : AMMSC             { MK($$, TLEAF(EXPR_AMMSC, $1)); } ;

odbc_date_time_ext
  : odbc_date_literal       { MK($$, UN(EXPR_ODBC_DATE_TIME_EXT, A1, $1)); }
  | odbc_time_literal       { MK($$, UN(EXPR_ODBC_DATE_TIME_EXT, A1, $1)); }
  | odbc_timestamp_literal  { MK($$, UN(EXPR_ODBC_DATE_TIME_EXT, A1, $1)); }
  ;

odbc_date_literal
  : vendor_open date_value vendor_close { MK($$, ND(EXPR_ODBC_DATE_LITERAL, A1 " " A2 " " A3, 3, $1, $2, $3)); }
  | esc_open date_value esc_close       { MK($$, ND(EXPR_ODBC_DATE_LITERAL, A1 " " A2 " " A3, 3, $1, $2, $3)); }
  ;

odbc_time_literal
  : vendor_open time_value vendor_close { MK($$, ND(EXPR_ODBC_TIME_LITERAL, A1 " " A2 " " A3, 3, $1, $2, $3)); }
  | esc_open time_value esc_close       { MK($$, ND(EXPR_ODBC_TIME_LITERAL, A1 " " A2 " " A3, 3, $1, $2, $3)); }
  ;

odbc_timestamp_literal
  : vendor_open timestamp_value vendor_close  { MK($$, ND(EXPR_ODBC_TIMESTAMP_LITERAL, A1 " " A2 " " A3, 3, $1, $2, $3)); }
  | esc_open timestamp_value esc_close        { MK($$, ND(EXPR_ODBC_TIMESTAMP_LITERAL, A1 " " A2 " " A3, 3, $1, $2, $3)); }
  ;

date_value : DATE_LITERAL             { MK($$, TLEAF(EXPR_DATE_VALUE, $1)); } ;
time_value : TIME_LITERAL             { MK($$, TLEAF(EXPR_TIME_VALUE, $1)); } ;
timestamp_value : TIMESTAMP_LITERAL   { MK($$, TLEAF(EXPR_TIMESTAMP_VALUE, $1)); } ;

odbc_join_ext
  : esc_open OJ qualified_join esc_close        { MK($$, ND(EXPR_ODBC_JOIN_EXT, A1 " oj " A2 " " A3, 3, $1, $3, $4)); }
  | vendor_open OJ qualified_join vendor_close  { MK($$, ND(EXPR_ODBC_JOIN_EXT, A1 " oj " A2 " " A3, 3, $1, $3, $4)); }
  ;

odbc_scalar_fn_ext
  : esc_open FN scalar_fn esc_close         { MK($$, ND(EXPR_ODBC_SCALAR_FN_EXT, A1 " fn " A2 " " A3, 3, $1, $3, $4)); }
  | vendor_open FN scalar_fn vendor_close   { MK($$, ND(EXPR_ODBC_SCALAR_FN_EXT, A1 " fn " A2 " " A3, 3, $1, $3, $4)); }
  ;

scalar_fn
  : function_name '(' argument_list ')'  { MK($$, ND(EXPR_SCALAR_FN, A1 "( " A2 " )", 2, $1, $3)); }
  ;

function_name : NAME  { MK($$, TLEAF(EXPR_FUNCTION_NAME, $1)); } ;

argument_list
  : %empty                          { MK($$, LEAF(EXPR_ARGUMENT_LIST, "")); }
  | expression                      { MK($$, UN(EXPR_ARGUMENT_LIST, A1, $1)); }
  | expression ',' argument_list    { MK($$, ND(EXPR_ARGUMENT_LIST, A1 ", " A2, 2, $1, $3)); }
  | expression FROM expression      { MK($$, ND(EXPR_ARGUMENT_LIST, A1 " FROM " A2, 2, $1, $3)); }
  | expression IN expression        { MK($$, ND(EXPR_ARGUMENT_LIST, A1 " IN " A2, 2, $1, $3)); }
  ;

esc_open : ESC_OPEN             { MK($$, LEAF(EXPR_ODBC_EXT_ESC_INIT, "{")); } ;
esc_close : ESC_CLOSE           { MK($$, LEAF(EXPR_ODBC_EXT_ESC_TERM, "}")); } ;
vendor_open : VENDOR_ESC_OPEN   { MK($$, LEAF(EXPR_ODBC_EXT_ESC_INIT, " --(* VENDOR(Microsoft), PRODUCT(ODBC) ")); } ;
vendor_close : VENDOR_ESC_CLOSE { MK($$, LEAF(EXPR_ODBC_EXT_ESC_TERM, " *)--")); } ;

simple_case
  : CASE expression simple_when_list END  { MK($$, ND(EXPR_SIMPLE_CASE, "CASE " A1 " " A2 " END", 2, $2, $3)); }
  ;

simple_when_list
  : simple_when                   { MK($$, UN(EXPR_SIMPLE_WHEN_LIST, A1, $1)); }
  | simple_when_list simple_when  { MK($$, ND(EXPR_SIMPLE_WHEN_LIST, A1 " " A2, 2, $1, $2)); }
  ;

simple_when
  : WHEN expression THEN expression   { MK($$, ND(EXPR_SIMPLE_WHEN, "WHEN " A1 " THEN " A2, 2, $2, $4)); }
  | ELSE expression                   { MK($$, UN(EXPR_SIMPLE_WHEN, "ELSE " A1, $2)); }
  ;

searched_case
  : CASE searched_when_list END  { MK($$, UN(EXPR_SEARCHED_CASE, "CASE " A1 " END", $2)); }
  ;

searched_when_list
  : searched_when                     { MK($$, UN(EXPR_SEARCHED_WHEN_LIST, A1, $1)); }
  | searched_when_list searched_when  { MK($$, ND(EXPR_SEARCHED_WHEN_LIST, A1 " " A2, 2, $1, $2)); }
  ;

searched_when
  : WHEN search_condition THEN expression { MK($$, ND(EXPR_SEARCHED_WHEN, "WHEN " A1 " THEN " A2, 2, $2, $4)); }
  | ELSE expression                       { MK($$, UN(EXPR_SEARCHED_WHEN, "ELSE " A1, $2)); }
  ;

%%
