/* The typical query's walk written straight against the SQLite API, as the
 * yardstick for the script host's walk: opens the database, runs the same
 * SELECT and prints every row as the scripts do, each field's text form
 * separated by tabs. Usage: raw_sqlite_walk DATABASE */
#include <sqlite3.h>
#include <stdio.h>

int main(int argc, char** argv) {
  sqlite3* db = NULL;
  sqlite3_stmt* stmt = NULL;
  if (argc != 2) {
    fprintf(stderr, "usage: %s DATABASE\n", argv[0]);
    return 2;
  }
  if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK ||
      sqlite3_prepare_v2(db, "SELECT id, name, price, qty, note FROM items ORDER BY id", -1, &stmt, NULL) != SQLITE_OK) {
    fprintf(stderr, "%s\n", sqlite3_errmsg(db));
    sqlite3_close(db);
    return 1;
  }
  const int columns = sqlite3_column_count(stmt);
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    for (int i = 0; i < columns; ++i) {
      if (i) putchar('\t');
      fputs((const char*)sqlite3_column_text(stmt, i), stdout);
    }
    putchar('\n');
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rc == SQLITE_DONE ? 0 : 1;
}
