#include "libs/db/discardedwork.hpp"

#include "libs/db/firstcolumn.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using DbTest::column;
using DbTest::Strings;

// Events with links that a trigger deletes with them, and an index on every column.
void createEvents(Sqlite::Connection& db, int events)
{
    db.execute("CREATE TABLE Event(id INTEGER PRIMARY KEY, at INTEGER, kind TEXT, who INTEGER);"
               "CREATE INDEX EventAt ON Event(at); CREATE INDEX EventKindWho ON Event(kind, who);"
               "CREATE UNIQUE INDEX EventCovering ON Event(at, kind, who);"
               "CREATE TABLE Link(id INTEGER PRIMARY KEY, eventId INTEGER, UNIQUE(eventId));"
               "CREATE TRIGGER EventGone AFTER DELETE ON Event BEGIN DELETE FROM Link WHERE eventId = old.id; END;"
               "CREATE TRIGGER LinkGone AFTER DELETE ON Link BEGIN DELETE FROM Link WHERE id = -old.id; END;");
    for (int i = 1; i <= events; ++i)
        db.execute("INSERT INTO Event VALUES(" + std::to_string(i) + "," + std::to_string(i * 7 % 20) + ",'k" +
                   std::to_string(i % 3) + "'," + std::to_string(i) + ");INSERT INTO Link(eventId) VALUES(" +
                   std::to_string(i) + ");");
}

const char* const rebuild = "BEGIN TRANSACTION;DELETE FROM Event WHERE at < 10 AND kind <> 'k2';"
                            "DROP TRIGGER IF EXISTS EventGone;ALTER TABLE Event RENAME TO tmp;"
                            "CREATE TABLE Event(id INTEGER PRIMARY KEY, at INTEGER, who INTEGER);"
                            "INSERT INTO Event SELECT id,at,who FROM tmp;DROP TABLE tmp;COMMIT;";

} // namespace

// The indexes of a table that the script renames and drops are discarded, except one that the
// copy could read instead of the table and those made by constraints; any other use of the
// table keeps them all.
TEST(DiscardedWork, IndexesOfARenamedAndDroppedTableThatNothingElseReads)
{
    Sqlite::Connection db(Sqlite::inMemory, true);
    createEvents(db, 3);
    EXPECT_EQ(Sqlite::discardedIndexes(db, rebuild), (Strings{"EventAt", "EventKindWho"}));
    EXPECT_EQ(Sqlite::discardedIndexes(db, "ALTER TABLE Link RENAME TO old;DROP TABLE old;"), Strings{});

    for (const char* other : {"UPDATE Event SET who=1;ALTER TABLE Event RENAME TO tmp;DROP TABLE tmp;",
                              "ALTER TABLE Event RENAME TO tmp;INSERT INTO x SELECT * FROM tmp;DROP TABLE tmp;",
                              "ALTER TABLE Event RENAME TO tmp;CREATE TABLE Event(id);",
                              "ALTER TABLE Event RENAME TO tmp;SELECT at FROM tmp WHERE at=1;DROP TABLE tmp;"})
        EXPECT_EQ(Sqlite::discardedIndexes(db, other), Strings{}) << other;
    db.execute("CREATE TRIGGER LinkLogged AFTER DELETE ON Link BEGIN INSERT INTO Link(eventId) VALUES(NULL); END;");
    EXPECT_EQ(Sqlite::discardedIndexes(db, rebuild), Strings{});

    Sqlite::Connection fresh(Sqlite::inMemory, true);
    createEvents(fresh, 3);
    Sqlite::dropDiscardedIndexes(fresh, rebuild);
    EXPECT_EQ(column(fresh, "SELECT name FROM sqlite_master WHERE type='index' AND tbl_name='Event'"),
              Strings{"EventCovering"});
}

// Deleted ahead in batches of three, the rows and the links the trigger deletes with them are
// those the script's DELETE deletes, and it then finds none left.
TEST(DiscardedWork, TheLeadingDeleteIsDoneAheadInBatchesOnlyWhereTriggersOnlyDelete)
{
    Sqlite::Connection ahead(Sqlite::inMemory, true);
    Sqlite::Connection alone(Sqlite::inMemory, true);
    createEvents(ahead, 40);
    createEvents(alone, 40);
    const std::string kept = "SELECT group_concat(id) FROM (SELECT id FROM Event ORDER BY id)";
    const std::string links = "SELECT group_concat(eventId) FROM (SELECT eventId FROM Link ORDER BY id)";

    EXPECT_EQ(Sqlite::deleteAheadInBatches(ahead, rebuild, 3), 13u);
    EXPECT_EQ(Sqlite::deleteAheadInBatches(ahead, rebuild, 3), 0u);
    alone.execute("DELETE FROM Event WHERE at < 10 AND kind <> 'k2';");
    EXPECT_EQ(column(ahead, kept), column(alone, kept));
    EXPECT_EQ(column(ahead, links), column(alone, links));

    for (const char* other : {"BEGIN;UPDATE Event SET at=1;DELETE FROM Event WHERE at=1;",
                              "DELETE FROM Event WHERE at < 10 ORDER BY at LIMIT 2;", "DELETE FROM Event;",
                              "DELETE FROM Missing WHERE at < 10;"})
        EXPECT_EQ(Sqlite::deleteAheadInBatches(ahead, other, 3), 0u) << other;
    ahead.execute("CREATE TRIGGER EventLogged AFTER DELETE ON Event BEGIN UPDATE Link SET id=id; END;");
    EXPECT_EQ(Sqlite::deleteAheadInBatches(ahead, "DELETE FROM Event WHERE at < 20;", 3), 0u);
    EXPECT_EQ(column(ahead, "SELECT count(*) FROM Event"), Strings{"27"});
}
