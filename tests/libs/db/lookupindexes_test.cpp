#include "libs/db/lookupindexes.hpp"

#include "libs/db/firstcolumn.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using DbTest::column;
using DbTest::Strings;

// "table(column)" of every index whose name the migration made.
Strings lookupIndexes(Sqlite::Connection& db)
{
    Strings indexes;
    for (const std::string& name :
         column(db, "SELECT name FROM sqlite_master WHERE type='index' AND name LIKE 'migrationLookup%' ORDER BY name"))
        indexes.push_back(column(db, "SELECT tbl_name FROM sqlite_master WHERE name='" + name + "'")[0] + "(" +
                          column(db, "SELECT name FROM pragma_index_info('" + name + "')")[0] + ")");
    return indexes;
}

} // namespace

TEST(LookupIndexes, CoverTheLookupsOfFiredTriggersOnlyWhereNoIndexServesThem)
{
    Sqlite::Connection db(Sqlite::inMemory, true);
    db.execute(
        "CREATE TABLE Event(id INTEGER PRIMARY KEY, kind TEXT);"
        "CREATE TABLE Link(id INTEGER PRIMARY KEY, eventId INTEGER, note TEXT);"
        "CREATE TABLE Note(noteId INTEGER PRIMARY KEY, linkRef INTEGER, text TEXT);"
        "CREATE TABLE Tag(id INTEGER PRIMARY KEY, eventKind TEXT, owner INTEGER);"
        "CREATE INDEX TagOwner ON Tag(owner);"
        "CREATE TABLE Audit(id INTEGER PRIMARY KEY, kindRef TEXT, who TEXT);"
        "CREATE TABLE Other(id INTEGER PRIMARY KEY, kindRef TEXT);"
        // Qualified and reversed comparisons, a rowid and an indexed column, a nested trigger.
        "CREATE TRIGGER \"after delete\" AFTER DELETE ON Event BEGIN "
        "  DELETE FROM Link WHERE Link.eventId = old.id; -- a comment; with a semicolon\n"
        "  UPDATE Tag SET eventKind=NULL WHERE old.kind == eventKind AND owner = old.id;"
        "  DELETE FROM Audit WHERE id = old.id OR who IN (SELECT who FROM Other WHERE kindRef = old.kind);"
        "END;"
        "CREATE TRIGGER LinkGone BEFORE DELETE ON Link BEGIN DELETE FROM Note WHERE linkRef=old.id; END;"
        // Fired only by an insert or an update: not analysed for a delete.
        "CREATE TRIGGER EventAdded AFTER INSERT ON Event BEGIN DELETE FROM Other WHERE kindRef=new.kind; END;"
        "CREATE TRIGGER EventChanged AFTER UPDATE OF kind ON Event BEGIN "
        "  UPDATE Audit SET who='x' WHERE kindRef=CASE WHEN new.kind IS NULL THEN '' ELSE new.kind END; "
        "  DELETE FROM Audit WHERE kindRef = new.kind; END;");

    Sqlite::LookupIndexes lookups(db);
    lookups.coverTriggersFiredBy("BEGIN;DELETE FROM Event WHERE kind='old';CREATE TRIGGER t AFTER DELETE ON Tag "
                                 "BEGIN DELETE FROM Other WHERE kindRef=old.eventKind; END;COMMIT;");
    EXPECT_EQ(lookupIndexes(db), (Strings{"Link(eventId)", "Note(linkRef)", "Tag(eventKind)"}));

    lookups.coverTriggersFiredBy("UPDATE Event SET kind='new'");
    lookups.cover("Link", "eventId");
    lookups.cover("Link", "rowid");
    lookups.cover("Missing", "x");
    lookups.cover("Link", "missing");
    EXPECT_EQ(lookupIndexes(db), (Strings{"Link(eventId)", "Note(linkRef)", "Tag(eventKind)", "Audit(kindRef)"}));
    EXPECT_EQ(lookups.created().size(), 4u);

    lookups.drop();
    EXPECT_TRUE(lookupIndexes(db).empty());
    EXPECT_EQ(column(db, "SELECT name FROM sqlite_master WHERE type='index'"), Strings{"TagOwner"});
}

TEST(LookupIndexes, NamesNeverClashAndTheScriptSplitsAtItsVacuum)
{
    Sqlite::Connection db(Sqlite::inMemory, true);
    db.execute("CREATE TABLE migrationLookup0(a); CREATE TABLE t(a, b);");
    Sqlite::LookupIndexes lookups(db);
    lookups.cover("t", "b");
    EXPECT_EQ(lookups.created(), Strings{"migrationLookup1"});
    lookups.drop();

    const auto parts = Sqlite::splitBeforeVacuum("BEGIN;UPDATE t SET a='VACUUM;';/* VACUUM; */COMMIT;VACUUM;ANALYZE;");
    EXPECT_EQ(parts.first, "BEGIN;UPDATE t SET a='VACUUM;';/* VACUUM; */COMMIT;");
    EXPECT_EQ(parts.second, "VACUUM;ANALYZE;");
    EXPECT_EQ(Sqlite::splitBeforeVacuum("ANALYZE;").second, "");
}

// The engine's own tables, views and a database that refuses the index get none; the script
// then runs its lookups as written.
TEST(LookupIndexes, AreSkippedWhereNoIndexCanBeMade)
{
    Sqlite::Connection db(Sqlite::inMemory, true);
    db.execute("CREATE TABLE Users(id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT);"
               "CREATE TABLE Log(id INTEGER PRIMARY KEY, name TEXT);"
               "CREATE VIEW Names AS SELECT name FROM Log;"
               "INSERT INTO Users(name) VALUES('a');"
               "CREATE TRIGGER UserRenamed AFTER UPDATE ON Users BEGIN "
               "  UPDATE sqlite_sequence SET seq = seq WHERE name = old.name;"
               "  DELETE FROM Names WHERE name = old.name; DELETE FROM Log WHERE name = old.name; END;");
    Sqlite::LookupIndexes lookups(db);
    db.execute("PRAGMA query_only=ON;");
    EXPECT_NO_THROW(lookups.coverTriggersFiredBy("UPDATE Users SET name='b';"));
    EXPECT_TRUE(lookups.created().empty());

    db.execute("PRAGMA query_only=OFF;");
    Sqlite::LookupIndexes writable(db);
    writable.coverTriggersFiredBy("UPDATE Users SET name='b';");
    EXPECT_EQ(lookupIndexes(db), Strings{"Log(name)"});
}
