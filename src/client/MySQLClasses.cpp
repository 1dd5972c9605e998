#include "MySQLClasses.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#include <errmsg.h>
#include <mysqld_error.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Utf8.h"

namespace {

// The interrupt descriptor of the connection whose library call runs on this thread, or -1.
thread_local int tInterrupt = -1;

// Names the connection whose library calls follow on this thread, for as long as it lives.
class TLibraryCall {
public:
    explicit TLibraryCall(int interrupt) : FSaved(tInterrupt) { tInterrupt = interrupt; }
    ~TLibraryCall() { tInterrupt = FSaved; }
    TLibraryCall(const TLibraryCall&) = delete;
    TLibraryCall& operator=(const TLibraryCall&) = delete;

private:
    int FSaved;
};

// Every wait of the library for its socket comes here: the socket or the calling connection's
// interrupt, whichever is first. An interrupt shuts the socket down and fails the wait, which the
// library reports as a lost connection (or a failed connect).
int WaitForSocket(my_socket socket, my_bool forReading, int timeoutMs)
{
    pollfd waits[2] = {{socket, static_cast<short>(forReading ? POLLIN : POLLOUT), 0},
                       {tInterrupt, POLLIN, 0}};
    using TClock = std::chrono::steady_clock;
    const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        int left = timeoutMs;
        if (timeoutMs > 0) {
            const auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now());
            left = static_cast<int>(std::max<std::chrono::milliseconds::rep>(rest.count(), 0));
        }
        const int ready = poll(waits, 2, left);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready > 0 && waits[1].revents != 0) {
            shutdown(socket, SHUT_RDWR);
            errno = ECONNABORTED;
            return -1;
        }
        return ready;
    }
}

void InitLibrary()
{
    // The library sets itself up on its first use, which is not safe from two threads at once.
    static std::once_flag once;
    std::call_once(once, [] { mysql_library_init(0, nullptr, nullptr); });
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TMySQLConnection

TMySQLConnection::TMySQLConnection()
    : FInterrupt(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

TMySQLConnection::~TMySQLConnection()
{
    Disconnect();
    if (FInterrupt >= 0)
        close(FInterrupt);
}

bool TMySQLConnection::Connect()
{
    try {
        InitLibrary();
        TLibraryCall call(FInterrupt);
        // A handle left by a failed attempt is closed here, before the new one is made.
        FHandle.reset(mysql_init(nullptr));
        if (!FHandle)
            return false;
        if (FPort == 0)
            FPort = DefaultPort;
        MYSQL* handle = FHandle.get();
        mysql_options(handle, MYSQL_SET_CHARSET_NAME, "utf8mb4");
        const unsigned int timeout = ConnectTimeout;
        mysql_options(handle, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
        mysql_optionsv(handle, MARIADB_OPT_RESTRICTED_AUTH, AllowedAuthPlugins);
        mysql_optionsv(handle, MARIADB_OPT_IO_WAIT, WaitForSocket);
        // Multiple results let a CALL return its result sets; several statements per call only
        // where ClientFlags ask for them.
        return mysql_real_connect(handle, FHost.c_str(), FUser.c_str(), FPassword.c_str(), nullptr,
                                  static_cast<unsigned int>(FPort), nullptr,
                                  CLIENT_MULTI_RESULTS | FClientFlags)
            != nullptr;
    } catch (...) {
        return false;
    }
}

void TMySQLConnection::Disconnect()
{
    TLibraryCall call(FInterrupt);
    FHandle.reset();
}

bool TMySQLConnection::IsConnectionLost(std::uint32_t errorCode)
{
    return errorCode == CR_SERVER_GONE_ERROR || errorCode == CR_SERVER_LOST || errorCode == ER_CONNECTION_KILLED;
}

std::uint64_t TMySQLConnection::ConnectionId() const
{
    return FHandle ? mysql_thread_id(FHandle.get()) : 0;
}

std::string TMySQLConnection::ServerVersion() const
{
    const char* version = FHandle ? mysql_get_server_info(FHandle.get()) : nullptr;
    return version ? version : "";
}

void TMySQLConnection::Interrupt()
{
    if (FInterrupt < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(FInterrupt, &one, sizeof one);
}

void TMySQLConnection::ClearInterrupt()
{
    if (FInterrupt < 0)
        return;
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(FInterrupt, &count, sizeof count);
}

std::uint32_t TMySQLConnection::GetErrorCode() const
{
    return FHandle ? mysql_errno(FHandle.get()) : CR_SERVER_GONE_ERROR;
}

std::string TMySQLConnection::GetErrorText() const
{
    if (!FHandle)
        return "MySQL server has gone away"; // the library's own text for that code
    if (mysql_errno(FHandle.get()) == CR_PLUGIN_NOT_ALLOWED)
        return ClearTextRefusedText;
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
    TMySQLOutcome first = Execute(sql);
    // A CALL sends its result sets and a final status: read and drop all but the first, so that the
    // connection is ready for the next statement.
    while (first.ErrorCode == 0 && MoreOutcomes()) {
        if (NextOutcome().ErrorCode != 0)
            break;
    }
    return first.ErrorCode == 0 ? first.Result : nullptr;
}

TMySQLOutcome TMySQLDataSet::Execute(const std::string& sql)
{
    std::string query = sql;
    if (OnQuery)
        OnQuery(*this, query);

    MYSQL* handle = Handle();
    if (!handle) {
        TMySQLOutcome failed;
        failed.ErrorCode = ErrorCode();
        failed.ErrorText = ErrorText();
        return failed;
    }
    TLibraryCall call(Connection()->FInterrupt);
    if (mysql_real_query(handle, query.data(), query.size()) != 0) {
        TMySQLOutcome failed;
        failed.ErrorCode = ErrorCode();
        failed.ErrorText = ErrorText();
        return failed;
    }
    return ReadOutcome();
}

bool TMySQLDataSet::MoreOutcomes() const
{
    MYSQL* handle = Handle();
    return handle && mysql_more_results(handle);
}

TMySQLOutcome TMySQLDataSet::NextOutcome()
{
    MYSQL* handle = Handle();
    TLibraryCall call(Connection()->FInterrupt);
    if (!handle || mysql_next_result(handle) != 0) {
        TMySQLOutcome failed;
        failed.ErrorCode = ErrorCode();
        failed.ErrorText = ErrorText();
        // A failure without an error of the server's (nothing was pending) still ends the request.
        if (failed.ErrorCode == 0) {
            failed.ErrorCode = CR_COMMANDS_OUT_OF_SYNC;
            failed.ErrorText = "Commands out of sync; you can't run this command now";
        }
        return failed;
    }
    return ReadOutcome();
}

TMySQLOutcome TMySQLDataSet::ReadOutcome()
{
    MYSQL* handle = Handle();
    TMySQLOutcome outcome;
    if (mysql_field_count(handle) > 0) {
        TMySQLResultHandle stored(mysql_store_result(handle));
        if (!stored) {
            outcome.ErrorCode = ErrorCode();
            outcome.ErrorText = ErrorText();
            return outcome;
        }
        outcome.Result = std::make_shared<TMySQLQueryResult>(handle, std::move(stored));
    } else {
        outcome.AffectedRows = AffectedRows();
    }
    outcome.Warnings = mysql_warning_count(handle);
    const char* schema = nullptr;
    std::size_t length = 0;
    if (mysql_session_track_get_first(handle, SESSION_TRACK_SCHEMA, &schema, &length) == 0)
        outcome.Schema = std::string(schema ? schema : "", length);
    return outcome;
}

bool TMySQLDataSet::SelectDatabase(const std::string& name)
{
    MYSQL* handle = Handle();
    if (!handle)
        return false;
    TLibraryCall call(Connection()->FInterrupt);
    return mysql_select_db(handle, name.c_str()) == 0;
}
