SELECT CASE WHEN a = 1 THEN (SELECT b FROM u) ELSE c END FROM a@b:c.d -- x
/* y */