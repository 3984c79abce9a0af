SELECT "my t".a FROM "my t"@lnk, [o.x].[t@y] z WHERE a = b --(*c
 AND d = ?