#include "SchemaNames.h"

#include <algorithm>

#include <QSet>

#include "ClientStrings.h"
#include "ConnectionWords.h"
#include "MySQLClasses.h"

namespace {

bool LessIgnoringCase(const QString& a, const QString& b)
{
    const int order = a.compare(b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
}

void SortNames(QStringList& names)
{
    std::sort(names.begin(), names.end(), LessIgnoringCase);
}

// A value compared with a name column: hexadecimal bytes read as utf8mb4, so that nothing in the
// name needs escaping whatever the server's SQL mode.
std::string NameLiteral(const std::string& name)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string literal = "CONVERT(X'";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        literal += kHex[byte >> 4];
        literal += kHex[byte & 15];
    }
    return literal + "' USING utf8mb4)";
}

// Runs a query and hands each row to take; false (with the error kept) when it fails.
template <class TTake>
bool ReadRows(TMySQLDataSet& dataSet, const std::string& sql, std::string& error, TTake take)
{
    const std::shared_ptr<IMySQLQueryResult> result = dataSet.Query(sql);
    if (!result) {
        if (error.empty())
            error = dataSet.ErrorCode() != 0 ? ErrorWords(dataSet) : std::string("no result");
        return false;
    }
    while (const std::shared_ptr<IMySQLRow> row = result->FetchRow())
        take(*row);
    return true;
}

std::shared_ptr<const TSchemaNames> ReadSchema(TMySQLDataSet& dataSet, const std::string& database,
                                               std::string& error)
{
    auto names = std::make_shared<TSchemaNames>();
    const std::string schema = NameLiteral(database);
    ReadRows(dataSet,
             "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = " + schema + " LIMIT "
                 + std::to_string(kMaxNameTables),
             error, [&](const IMySQLRow& row) { names->Tables << FromClientString(row.GetValue(0)); });
    SortNames(names->Tables);
    // Rows of one table come together in the table's order; the name is converted once per table.
    std::string lastTable;
    QStringList* columns = nullptr;
    ReadRows(dataSet,
             "SELECT TABLE_NAME, COLUMN_NAME FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = " + schema
                 + " ORDER BY TABLE_NAME, ORDINAL_POSITION LIMIT " + std::to_string(kMaxNameColumns),
             error, [&](const IMySQLRow& row) {
                 if (columns == nullptr || row.GetValue(0) != lastTable) {
                     lastTable = row.GetValue(0);
                     columns = &names->Columns[FromClientString(lastTable)];
                 }
                 *columns << FromClientString(row.GetValue(1));
             });
    ReadRows(dataSet,
             "SELECT ROUTINE_NAME, ROUTINE_TYPE FROM information_schema.ROUTINES WHERE ROUTINE_SCHEMA = " + schema
                 + " LIMIT " + std::to_string(kMaxNameRoutines),
             error, [&](const IMySQLRow& row) {
                 (row.GetValue(1) == "PROCEDURE" ? names->Procedures : names->Functions)
                     << FromClientString(row.GetValue(0));
             });
    SortNames(names->Functions);
    SortNames(names->Procedures);
    return names;
}

// The entries of one kind: the names that begin with the prefix, as they are typed.
void AddNames(QStringList& entries, QSet<QString>& seen, const QStringList& names,
              const TCompletionContext& context)
{
    for (const QString& name : names) {
        if (!name.startsWith(context.Prefix, Qt::CaseInsensitive))
            continue;
        QString entry = QuoteName(name, context.Backquoted);
        if (!seen.contains(entry)) {
            seen.insert(entry);
            entries << std::move(entry);
        }
    }
}

// The columns of the tables named, sorted and each once.
QStringList ColumnsOf(const std::vector<TTableReference>& tables, const TNameCatalog& catalog,
                      const QString& currentDatabase, TCompletionOffer& offer)
{
    QStringList columns;
    for (const TTableReference& table : tables) {
        const QString database = table.Database.isEmpty() ? currentDatabase : table.Database;
        const TSchemaNames* schema = catalog.Schema(database);
        if (schema == nullptr) {
            if (!database.isEmpty() && !offer.MissingSchemas.contains(database))
                offer.MissingSchemas << database;
            continue;
        }
        auto found = schema->Columns.constFind(table.Table);
        if (found == schema->Columns.cend()) {
            // Table names may differ in letter case from what the statement spells.
            for (auto it = schema->Columns.cbegin(); it != schema->Columns.cend(); ++it) {
                if (it.key().compare(table.Table, Qt::CaseInsensitive) == 0) {
                    found = it;
                    break;
                }
            }
        }
        if (found != schema->Columns.cend())
            columns << *found;
    }
    SortNames(columns);
    columns.removeDuplicates();
    return columns;
}

} // namespace

const TSchemaNames* TNameCatalog::Schema(const QString& database) const
{
    const auto found = Schemas.find(database);
    return found != Schemas.end() ? found->second.get() : nullptr;
}

TCompletionOffer OfferNames(const TCompletionContext& context, const TNameCatalog& catalog,
                            const QString& currentDatabase)
{
    TCompletionOffer offer;
    if (context.Nothing)
        return offer;
    QSet<QString> seen;
    const auto schemaOf = [&](const QString& database) -> const TSchemaNames* {
        const TSchemaNames* schema = catalog.Schema(database);
        if (schema == nullptr && !database.isEmpty() && !offer.MissingSchemas.contains(database))
            offer.MissingSchemas << database;
        return schema;
    };

    if (!context.Qualifier.isEmpty()) {
        if (!context.QualifierDatabase.isEmpty()) {
            AddNames(offer.Entries, seen,
                     ColumnsOf({{context.QualifierDatabase, context.Qualifier, {}}}, catalog, currentDatabase, offer),
                     context);
            return offer;
        }
        // An alias or a table of the statement, then a table of the current database, then a database.
        const auto reference = std::find_if(context.References.begin(), context.References.end(),
            [&](const TTableReference& r) { return r.Alias.compare(context.Qualifier, Qt::CaseInsensitive) == 0; });
        const auto named = std::find_if(context.References.begin(), context.References.end(),
            [&](const TTableReference& r) { return r.Alias.isEmpty() && r.Table == context.Qualifier; });
        if (reference != context.References.end() || named != context.References.end()) {
            const TTableReference& table = reference != context.References.end() ? *reference : *named;
            AddNames(offer.Entries, seen, ColumnsOf({table}, catalog, currentDatabase, offer), context);
            return offer;
        }
        if (const TSchemaNames* current = catalog.Schema(currentDatabase);
            current != nullptr && current->Columns.contains(context.Qualifier)) {
            AddNames(offer.Entries, seen, current->Columns.value(context.Qualifier), context);
            return offer;
        }
        if (catalog.Databases && !catalog.Databases->contains(context.Qualifier))
            return offer;
        if (!catalog.Databases)
            offer.MissingDatabases = true;
        if (const TSchemaNames* schema = schemaOf(context.Qualifier)) {
            AddNames(offer.Entries, seen, schema->Tables, context);
            AddNames(offer.Entries, seen, schema->Functions, context);
            AddNames(offer.Entries, seen, schema->Procedures, context);
        }
        return offer;
    }

    if (context.Columns)
        AddNames(offer.Entries, seen, ColumnsOf(context.ColumnTables, catalog, currentDatabase, offer), context);
    if (context.Tables || context.Functions || context.Procedures) {
        if (const TSchemaNames* schema = schemaOf(currentDatabase)) {
            if (context.Tables)
                AddNames(offer.Entries, seen, schema->Tables, context);
            if (context.Procedures)
                AddNames(offer.Entries, seen, schema->Procedures, context);
            if (context.Functions)
                AddNames(offer.Entries, seen, schema->Functions, context);
        }
    }
    if (context.Databases) {
        if (catalog.Databases)
            AddNames(offer.Entries, seen, *catalog.Databases, context);
        else
            offer.MissingDatabases = true;
    }
    if (context.Keywords && !context.Backquoted) {
        // Keywords and built-in functions, merged in one alphabetical run.
        static const QStringList words = [] {
            std::vector<std::string_view> all(CompletionKeywords().begin(), CompletionKeywords().end());
            all.insert(all.end(), BuiltinFunctions().begin(), BuiltinFunctions().end());
            std::sort(all.begin(), all.end());
            all.erase(std::unique(all.begin(), all.end()), all.end());
            QStringList list;
            for (const std::string_view word : all)
                list << QString::fromLatin1(word.data(), static_cast<qsizetype>(word.size()));
            return list;
        }();
        for (const QString& text : words) {
            if (!text.startsWith(context.Prefix, Qt::CaseInsensitive))
                continue;
            QString entry = InCase(text, context.KeywordCase);
            if (!seen.contains(entry)) {
                seen.insert(entry);
                offer.Entries << std::move(entry);
            }
        }
    }
    return offer;
}

TNamesReply ReadNames(TMySQLDataSet& dataSet, const TNamesRequest& request)
{
    TNamesReply reply;
    if (request.Databases) {
        QStringList databases;
        if (ReadRows(dataSet,
                     "SELECT SCHEMA_NAME FROM information_schema.SCHEMATA LIMIT " + std::to_string(kMaxNameDatabases),
                     reply.Error, [&](const IMySQLRow& row) { databases << FromClientString(row.GetValue(0)); })) {
            SortNames(databases);
            reply.Databases = std::move(databases);
        }
    }
    for (const std::string& database : request.Schemas)
        reply.Schemas.emplace_back(FromClientString(database), ReadSchema(dataSet, database, reply.Error));
    return reply;
}
