// The backend's operation table. Slots the backend does not implement stay
// null; the cursor engine fills some of them when it is put in front.
#include "backend/backend.h"

static drv_ops MakeOdbcOps() {
  drv_ops t{};
  t.getDrvParameter = ODBC_GetDrvParameter;
  t.setDrvParameter = ODBC_SetDrvParameter;
  t.errInfo = ODBC_ErrInfo;
  t.server = ODBC_Server;
  t.endServer = ODBC_EndServer;
  t.connect = ODBC_Connect;
  t.endConnect = ODBC_EndConnect;
  t.cursor = ODBC_Cursor;
  t.endCursor = ODBC_EndCursor;
  t.getCursorName = ODBC_GetCursorName;
  t.setCursorName = ODBC_SetCursorName;
  t.prepare = ODBC_Prepare;
  t.parameters = ODBC_Parameters;
  t.execute = ODBC_Execute;
  t.executeN = ODBC_ExecuteN;
  t.describeColumns = ODBC_DescribeColumns;
  t.describeParams = ODBC_DescribeParams;
  t.nativeSQL = ODBC_NativeSQL;
  t.bind = ODBC_Bind;
  t.fetch = ODBC_Fetch;
  t.close = ODBC_Close;
  t.commit = ODBC_Commit;
  t.rollback = ODBC_Rollback;
  t.getOpTable = ODBC_GetOpTable;
  t.moreResults = ODBC_MoreResults;
  t.ddColumnPrivileges = ODBC_DDColumnPrivileges;
  t.ddColumns = ODBC_DDColumns;
  t.ddForeignKeys = ODBC_DDForeignKeys;
  t.ddPrimaryKeys = ODBC_DDPrimaryKeys;
  t.ddProcedureColumns = ODBC_DDProcedureColumns;
  t.ddProcedures = ODBC_DDProcedures;
  t.ddSpecialColumns = ODBC_DDSpecialColumns;
  t.ddStatistics = ODBC_DDStatistics;
  t.ddTablePrivileges = ODBC_DDTablePrivileges;
  t.ddTables = ODBC_DDTables;
  t.ddTypeInfo = ODBC_DDTypeInfo;
  t.getData = ODBC_GetData;
  t.execute2 = ODBC_Execute2;
  t.colAttributes = ODBC_ColAttributes;
  t.cancel = ODBC_Cancel;
  t.paramData = ODBC_ParamData;
  t.putData = ODBC_PutData;
  return t;
}

drv_ops odbc_ops = MakeOdbcOps();
