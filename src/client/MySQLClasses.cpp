#include "MySQLClasses.h"

#include <algorithm>
#include <cstring>

#include <errmsg.h>

#include "Utf8.h"

// ---------------------------------------------------------------------------------------------
// TMySQLConnection

bool TMySQLConnection::Connect()
{
    try {
        // A handle left by a failed attempt is closed here, before the new one is made.
        FHandle.reset(mysql_init(nullptr));
        if (!FHandle)
            return false;
        mysql_options(FHandle.get(), MYSQL_SET_CHARSET_NAME, "utf8mb4");
        // Multiple results let a CALL return its result sets; several statements per call stay off.
        return mysql_real_connect(FHandle.get(), FHost.c_str(), FUser.c_str(), FPassword.c_str(),
                                  nullptr, static_cast<unsigned int>(FPort), nullptr,
                                  CLIENT_MULTI_RESULTS)
            != nullptr;
    } catch (...) {
        return false;
    }
}

void TMySQLConnection::Disconnect()
{
    FHandle.reset();
}

std::uint32_t TMySQLConnection::GetErrorCode() const
{
    return FHandle ? mysql_errno(FHandle.get()) : CR_SERVER_GONE_ERROR;
}

std::string TMySQLConnection::GetErrorText() const
{
    if (!FHandle)
        return "MySQL server has gone away"; // the library's own text for that code
    return mysql_error(FHandle.get());
}

// ---------------------------------------------------------------------------------------------
// TMySQLQueryResult

TMySQLQueryResult::TMySQLQueryResult(MYSQL* handle, TMySQLResultHandle result)
    : FHandle(handle)
    , FResult(std::move(result))
    , FRowCount(static_cast<std::int32_t>(mysql_num_rows(FResult.get())))
    , FFieldCount(static_cast<std::int32_t>(mysql_num_fields(FResult.get())))
{
}

std::shared_ptr<IMySQLRow> TMySQLQueryResult::FetchRow()
{
    if (FRowIndex == FRowCount)
        return nullptr;
    auto row = std::make_shared<TMySQLRow>(shared_from_this(), FResult.get());
    ++FRowIndex;
    return row;
}

const MYSQL_FIELD* TMySQLQueryResult::GetFields() const
{
    if (!FFields)
        FFields = mysql_fetch_fields(FResult.get());
    return FFields;
}

const MYSQL_FIELD* TMySQLQueryResult::GetField(std::int32_t index) const
{
    return &GetFields()[index];
}

std::string TMySQLQueryResult::GetFieldName(std::int32_t index) const
{
    const MYSQL_FIELD* field = GetField(index);
    return std::string(field->name, field->name_length);
}

std::int32_t TMySQLQueryResult::GetFieldIndex(const std::string& name) const
{
    for (std::int32_t i = 0; i < FFieldCount; ++i) {
        if (GetFieldName(i) == name)
            return i;
    }
    return -1;
}

std::int32_t TMySQLQueryResult::GetColumnWidth(std::int32_t index) const
{
    if (FColumnWidths.empty() && FFieldCount > 0) {
        std::vector<std::int32_t> widths(static_cast<std::size_t>(FFieldCount), 0);
        // Walk the stored rows, then put the cursor back where FetchRow left it.
        mysql_data_seek(FResult.get(), 0);
        while (MYSQL_ROW row = mysql_fetch_row(FResult.get())) {
            const unsigned long* lengths = mysql_fetch_lengths(FResult.get());
            for (std::int32_t i = 0; i < FFieldCount; ++i) {
                if (!row[i])
                    continue;
                const auto width =
                    static_cast<std::int32_t>(Utf16Length(std::string_view(row[i], lengths[i])));
                widths[i] = std::max(widths[i], width);
            }
        }
        mysql_data_seek(FResult.get(), static_cast<unsigned long long>(FRowIndex));
        FColumnWidths = std::move(widths);
    }
    return FColumnWidths[index];
}

// ---------------------------------------------------------------------------------------------
// TMySQLRow

TMySQLRow::TMySQLRow(std::shared_ptr<const TMySQLQueryResult> result, MYSQL_RES* stored)
    : FQueryResult(std::move(result))
{
    MYSQL_ROW row = mysql_fetch_row(stored);
    const unsigned int count = mysql_num_fields(stored);
    FValues.resize(count);
    if (!row)
        return;
    const unsigned long* lengths = mysql_fetch_lengths(stored);
    for (unsigned int i = 0; i < count; ++i) {
        if (row[i])
            FValues[i].assign(row[i], lengths[i]);
    }
}

std::string TMySQLRow::GetValueByName(const std::string& name) const
{
    const std::int32_t index = FQueryResult->GetFieldIndex(name);
    return index < 0 ? std::string() : GetValue(index);
}

// ---------------------------------------------------------------------------------------------
// TMySQLCustomDataSet

TMySQLCustomDataSet::TMySQLCustomDataSet()
{
    MakeOwnConnection();
}

TMySQLCustomDataSet::~TMySQLCustomDataSet()
{
    Close();
}

void TMySQLCustomDataSet::MakeOwnConnection()
{
    FOwnConnection = std::make_unique<TMySQLConnection>();
    FOwnConnection->FOwnedByDataSet = 1;
    FConnection = FOwnConnection.get();
}

bool TMySQLCustomDataSet::Open()
{
    if (FConnection->Port() == 0)
        FConnection->SetPort(3306);
    try {
        FConnected = FConnection->Connect();
    } catch (...) {
        FConnected = false;
    }
    if (FConnected) {
        if (OnConnect)
            OnConnect(*this);
        FDB = std::make_unique<TMySQLDB>(this);
    }
    return FConnected;
}

void TMySQLCustomDataSet::Close()
{
    if (!FConnected)
        return;
    FConnection->Disconnect();
    FConnected = false;
    if (OnDisconnect)
        OnDisconnect(*this);
    FDB.reset();
}

std::int64_t TMySQLCustomDataSet::AffectedRows() const
{
    MYSQL* handle = Handle();
    return handle ? static_cast<std::int64_t>(mysql_affected_rows(handle)) : -1;
}

void TMySQLCustomDataSet::SetConnection(TMySQLConnection* connection)
{
    if (connection == FConnection)
        return;
    FOwnConnection.reset();
    if (connection)
        FConnection = connection;
    else
        MakeOwnConnection();
}

void TMySQLCustomDataSet::SetConnected(bool connected)
{
    if (connected)
        Open();
    else
        Close();
}

// ---------------------------------------------------------------------------------------------
// TMySQLDataSet

std::shared_ptr<IMySQLQueryResult> TMySQLDataSet::Query(const std::string& sql)
{
    std::string query = sql;
    if (OnQuery)
        OnQuery(*this, query);

    MYSQL* handle = Handle();
    if (!handle)
        return nullptr;
    if (mysql_real_query(handle, query.data(), query.size()) != 0)
        return nullptr;
    if (mysql_field_count(handle) == 0)
        return nullptr;

    TMySQLResultHandle stored(mysql_store_result(handle));
    if (!stored)
        return nullptr;
    auto result = std::make_shared<TMySQLQueryResult>(handle, std::move(stored));

    // A CALL sends its result sets and a final status: read and drop all but the first, so that the
    // connection is ready for the next statement.
    while (mysql_more_results(handle)) {
        if (mysql_next_result(handle) != 0)
            break;
        TMySQLResultHandle(mysql_store_result(handle));
    }
    return result;
}
