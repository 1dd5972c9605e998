// The names a server holds (databases, tables, views, columns, routines), read from
// information_schema, and the completion entries they give at a place in a statement.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QHash>
#include <QString>
#include <QStringList>

#include "CompletionContext.h"

class TMySQLDataSet;

// The names of one database, each list sorted without regard to letter case. Built once on a
// client thread and shared read-only with the GUI thread.
struct TSchemaNames {
    QStringList Tables;                  // tables and views
    QHash<QString, QStringList> Columns; // by table name, in the table's order
    QStringList Functions;
    QStringList Procedures;
};

// What a console knows of its server's names so far.
struct TNameCatalog {
    std::optional<QStringList> Databases;
    std::map<QString, std::shared_ptr<const TSchemaNames>> Schemas;

    const TSchemaNames* Schema(const QString& database) const;
};

// The entries for a completion context: the names that begin with its prefix, quoted where they
// must be, kinds in the order of the context (columns, tables, routines, databases, keywords).
struct TCompletionOffer {
    QStringList Entries;
    // Databases whose names the entries would need and the catalog lacks.
    QStringList MissingSchemas;
    bool MissingDatabases = false;
};
TCompletionOffer OfferNames(const TCompletionContext& context, const TNameCatalog& catalog,
                            const QString& currentDatabase);

// What one read of names asks the server for, and what it answers.
struct TNamesRequest {
    bool Databases = false;
    std::vector<std::string> Schemas;
};
struct TNamesReply {
    std::optional<QStringList> Databases;
    std::vector<std::pair<QString, std::shared_ptr<const TSchemaNames>>> Schemas;
    std::string Error; // the first query that failed, if one did
};

// At most this many rows of each kind are read.
inline constexpr int kMaxNameDatabases = 10000;
inline constexpr int kMaxNameTables = 50000;
inline constexpr int kMaxNameColumns = 500000;
inline constexpr int kMaxNameRoutines = 20000;

// Runs on a client thread: one bounded information_schema query per kind and database.
TNamesReply ReadNames(TMySQLDataSet& dataSet, const TNamesRequest& request);
