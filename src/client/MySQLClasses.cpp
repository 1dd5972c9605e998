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

#include "AuthPlugins.h"
#include "LocalInfile.h"
#include "ServerProbe.h"
#include "SocketWaits.h"

namespace {

// Rows read as they arrive between two reports of how many have come (OnRowsRead).
constexpr std::int64_t kRowsReadStep = 4096;

void InitLibrary()
{
    // The library sets itself up on its first use, which is not safe from two threads at once.
    static std::once_flag once;
    std::call_once(once, [] {
        mysql_library_init(0, nullptr, nullptr);
        AuthPlugins::Install();
    });
}

bool HasZeroByte(const std::string& text)
{
    return text.find('\0') != std::string::npos;
}

// "TLSv1.3" as the user reads it: "TLS 1.3".
std::string ProtocolName(std::string version)
{
    if (version.rfind("TLSv", 0) == 0)
        version = "TLS " + version.substr(4);
    return version;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TMySQLConnection

TMySQLConnection::TMySQLConnection()
    : FInterrupt(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    , FSocket(std::make_unique<ClientWaits::TSocketHolder>())
{
}

TMySQLConnection::~TMySQLConnection()
{
    Disconnect();
    if (FInterrupt >= 0)
        close(FInterrupt);
}

namespace {

// The refusal of a connect that ConnectTimeout ended, in every phase and mode.
TClientRefusal TimeLimit(std::uint32_t code)
{
    TClientRefusal refusal;
    refusal.Kind = TClientRefusal::TKind::TimeLimit;
    refusal.Code = code;
    refusal.Seconds = TMySQLConnection::ConnectTimeout;
    return refusal;
}

} // namespace

bool TMySQLConnection::Connect()
{
    try {
        InitLibrary();
        ForgetError();
        FVerification = TServerVerification::None;
        const auto deadline = ClientWaits::TClock::now() + std::chrono::seconds(ConnectTimeout);
        // A handle left by a failed attempt is closed here, before the new one is made.
        FHandle.reset(mysql_init(nullptr));
        FSocket->Release();
        if (!FHandle)
            return false;
        ClientWaits::TScope waits(FInterrupt, FSocket.get(), deadline);
        // The wait hook sees most waits of a connect, but not those of the library's TLS handshake:
        // at the deadline the socket is shut down, wherever the connect waits.
        ClientWaits::TDeadlineWatch watch(deadline, [socket = FSocket.get()] { socket->ShutDown(); });
        if (FPort == 0)
            FPort = DefaultPort;
        // The library reads its parameters as C strings: a zero byte would cut one short and
        // connect to another host, or as another user.
        if (HasZeroByte(FHost) || HasZeroByte(FUser) || HasZeroByte(FPassword)) {
            FRefusal = TClientRefusal();
            FRefusal->Kind = TClientRefusal::TKind::ZeroByte;
            FRefusal->Code = CR_UNKNOWN_ERROR;
            return false;
        }
        MYSQL* handle = FHandle.get();
        mysql_options(handle, MYSQL_SET_CHARSET_NAME, "utf8mb4");
        const unsigned int timeout = ConnectTimeout;
        mysql_options(handle, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
        mysql_optionsv(handle, MARIADB_OPT_IO_WAIT, ClientWaits::WaitForSocket);
        AuthPlugins::Restrict(handle);
        LocalInfile::Install(handle, &FLocalFiles);
        // TLS whenever the server offers it; the library falls back to a plain connection when it
        // does not, unless a certificate is pinned below.
        const my_bool useTls = 1;
        mysql_optionsv(handle, MYSQL_OPT_SSL_ENFORCE, &useTls);
        if (FTlsMode != TTlsMode::WhenOffered) {
            const unsigned int tcp = MYSQL_PROTOCOL_TCP;
            mysql_optionsv(handle, MYSQL_OPT_PROTOCOL, &tcp);
            TServerProbe probe = ProbeServer(FHost, FPort, FTlsMode, FCAFile, FPinnedFingerprint);
            FSocket->Release();
            if (!probe.Accepted) {
                const std::uint32_t code = probe.Refusal ? probe.Refusal->Code : probe.ErrorCode;
                if (ClientWaits::DeadlinePassed()) {
                    FRefusal = TimeLimit(code);
                    if (probe.Refusal)
                        FRefusal->Certificate = std::move(probe.Refusal->Certificate);
                } else if (probe.Refusal) {
                    FRefusal = std::move(probe.Refusal);
                } else {
                    FOwnError = {probe.ErrorCode, probe.ErrorText};
                    return false;
                }
                // "localhost" means the local socket to the library, which cannot carry TLS: these
                // modes go over TCP instead, where a server listening on its socket alone is not.
                // The socket is not taken in their place: the user asked for encryption.
                FRefusal->LocalhostOverTcp = code == CR_CONN_HOST_ERROR && FHost == "localhost";
                return false;
            }
            mysql_optionsv(handle, MARIADB_OPT_TLS_PEER_FP, probe.LibraryPin.c_str());
            FVerification = probe.Verification;
        }
        AuthPlugins::TConnectScope login(FTlsMode == TTlsMode::Verified);
        // Multiple results let a CALL return its result sets; several statements per call only
        // where ClientFlags ask for them.
        const bool connected = mysql_real_connect(handle, FHost.c_str(), FUser.c_str(), FPassword.c_str(), nullptr,
                                                  static_cast<unsigned int>(FPort), nullptr,
                                                  CLIENT_MULTI_RESULTS | FClientFlags);
        if (connected && !watch.Fired()) {
            FSocket->Hold(mysql_get_socket(handle));
            return true;
        }
        FSocket->Release();
        // However the library words a connect that the deadline cut (often "unexpected eof" of the
        // TLS handshake), the program ended it, not the peer.
        if (connected || watch.Fired() || ClientWaits::DeadlinePassed())
            FRefusal = TimeLimit(CR_SERVER_LOST);
        else if ((FRefusal = login.Refusal(handle)))
            FRefusal->Code = CR_AUTH_PLUGIN_ERR;
        return false;
    } catch (...) {
        return false;
    }
}

void TMySQLConnection::Disconnect()
{
    {
        ClientWaits::TScope waits(FInterrupt, nullptr, std::nullopt);
        FHandle.reset();
    }
    FSocket->Release();
    ForgetError();
}

void TMySQLConnection::ForgetError()
{
    FRefusal.reset();
    FOwnError.reset();
    FLocalFiles.Refusal.reset();
}

const std::optional<TCertificateProblem>& TMySQLConnection::CertificateProblem() const
{
    static const std::optional<TCertificateProblem> none;
    return FRefusal ? FRefusal->Certificate : none;
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
    FSocket->ShutDown();
}

void TMySQLConnection::StatementFailed()
{
    if (FHandle && mysql_errno(FHandle.get()) == LocalInfile::RefusedCode) {
        // A file request this layer refused: the handler said why.
        FRefusal = FLocalFiles.Refusal;
        if (!FRefusal) {
            FRefusal.emplace();
            FRefusal->Kind = TClientRefusal::TKind::FileNotSent;
        }
        FRefusal->Code = LocalInfile::RefusedCode;
        return;
    }
    // A TLS connection that ends under a statement (cut by Interrupt, or closed by the server that
    // killed it) reports the end of its TLS stream; the user is told what happened, as on a plain
    // connection.
    if (!FHandle || mysql_errno(FHandle.get()) != CR_SSL_CONNECTION_ERROR)
        return;
    pollfd interrupt{FInterrupt, POLLIN, 0};
    const bool interrupted = FInterrupt >= 0 && poll(&interrupt, 1, 0) > 0;
    // The library lets go of a socket whose stream ended; one it still holds may say the same.
    char byte = 0;
    const my_socket socket = mysql_get_socket(FHandle.get());
    const bool ended = socket == MARIADB_INVALID_SOCKET || recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
    if (interrupted || ended)
        FOwnError = {CR_SERVER_LOST, "Lost connection to server during query"}; // the library's words
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
    if (FRefusal)
        return FRefusal->Code;
    if (FOwnError)
        return FOwnError->first;
    return FHandle ? mysql_errno(FHandle.get()) : CR_SERVER_GONE_ERROR;
}

std::string TMySQLConnection::GetErrorText() const
{
    if (FRefusal)
        return {};
    if (FOwnError)
        return FOwnError->second;
    if (!FHandle)
        return "MySQL server has gone away"; // the library's own text for that code
    return mysql_error(FHandle.get());
}

bool TMySQLConnection::Encrypted() const
{
    return FHandle && mysql_get_ssl_cipher(FHandle.get()) != nullptr;
}

std::string TMySQLConnection::EncryptionText() const
{
    MYSQL* handle = FHandle.get();
    const char* cipher = handle ? mysql_get_ssl_cipher(handle) : nullptr;
    if (!cipher)
        return {};
    const char* version = nullptr;
    mariadb_get_infov(handle, MARIADB_CONNECTION_TLS_VERSION, &version);
    return (version ? ProtocolName(version) + ", " : std::string()) + cipher;
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
        if (NextOutcome(TResultReading::Skipped).ErrorCode != 0)
            break;
    }
    return first.ErrorCode == 0 ? first.Result : nullptr;
}

TMySQLOutcome TMySQLDataSet::Execute(const std::string& sql, TResultReading reading)
{
    std::string query = sql;
    if (OnQuery)
        OnQuery(*this, query);

    MYSQL* handle = Handle();
    if (!handle)
        return FailedOutcome();
    TMySQLConnection& connection = *Connection();
    connection.ForgetError();
    ClientWaits::TScope waits(connection.FInterrupt, nullptr, std::nullopt);
    // The files set for this request are the only ones the server may read while it runs; the list
    // goes with the request's last outcome.
    if (mysql_real_query(handle, query.data(), query.size()) != 0)
        return FailedOutcome();
    return ReadOutcome(reading);
}

void TMySQLDataSet::SetLocalFiles(std::vector<std::string> names)
{
    Connection()->FLocalFiles.Allowed = std::move(names);
}

bool TMySQLDataSet::MoreOutcomes() const
{
    MYSQL* handle = Handle();
    return handle && mysql_more_results(handle);
}

TMySQLOutcome TMySQLDataSet::NextOutcome(TResultReading reading)
{
    MYSQL* handle = Handle();
    if (!handle)
        return FailedOutcome();
    TMySQLConnection& connection = *Connection();
    connection.ForgetError();
    ClientWaits::TScope waits(connection.FInterrupt, nullptr, std::nullopt);
    if (mysql_next_result(handle) != 0) {
        TMySQLOutcome failed = FailedOutcome();
        // A failure without an error of the server's (nothing was pending) still ends the request.
        if (failed.ErrorCode == 0) {
            failed.ErrorCode = CR_COMMANDS_OUT_OF_SYNC;
            failed.ErrorText = "Commands out of sync; you can't run this command now";
        }
        return failed;
    }
    return ReadOutcome(reading);
}

TMySQLOutcome TMySQLDataSet::ReadOutcome(TResultReading reading)
{
    MYSQL* handle = Handle();
    TMySQLOutcome outcome;
    if (mysql_field_count(handle) == 0) {
        outcome.AffectedRows = AffectedRows();
    } else if (reading == TResultReading::Stored) {
        TMySQLResultHandle stored(mysql_store_result(handle));
        if (!stored)
            return FailedOutcome();
        outcome.Result = std::make_shared<TMySQLQueryResult>(handle, std::move(stored));
    } else {
        // Unbuffered: the library holds one row at a time. Freeing the result reads whatever of it
        // is left, so nothing half-read stays on the connection whatever ends the reading here.
        TMySQLResultHandle streamed(mysql_use_result(handle));
        if (!streamed)
            return FailedOutcome();
        if (reading == TResultReading::Streamed) {
            const unsigned columns = mysql_num_fields(streamed.get());
            const MYSQL_FIELD* fields = mysql_fetch_fields(streamed.get());
            std::vector<std::string> names;
            names.reserve(columns);
            for (unsigned i = 0; i < columns; ++i)
                names.emplace_back(fields[i].name, fields[i].name_length);
            auto rows = std::make_shared<TMySQLPackedResult>(std::move(names));
            while (MYSQL_ROW row = mysql_fetch_row(streamed.get())) {
                rows->AddRow(row, mysql_fetch_lengths(streamed.get()));
                if (OnRowsRead && rows->RowCount() % kRowsReadStep == 0)
                    OnRowsRead(rows->RowCount());
            }
            if (OnRowsRead)
                OnRowsRead(rows->RowCount());
            outcome.Rows = std::move(rows);
        }
        streamed.reset();
        // The end of the rows tells whether they all came.
        if (ErrorCode() != 0)
            return FailedOutcome();
    }
    outcome.Warnings = mysql_warning_count(handle);
    const char* schema = nullptr;
    std::size_t length = 0;
    if (mysql_session_track_get_first(handle, SESSION_TRACK_SCHEMA, &schema, &length) == 0)
        outcome.Schema = std::string(schema ? schema : "", length);
    if (!mysql_more_results(handle))
        Connection()->FLocalFiles.Allowed.clear();
    return outcome;
}

TMySQLOutcome TMySQLDataSet::FailedOutcome()
{
    TMySQLConnection& connection = *Connection();
    // The request ends here: no file may be read any more.
    connection.FLocalFiles.Allowed.clear();
    connection.StatementFailed();
    TMySQLOutcome failed;
    failed.ErrorCode = ErrorCode();
    failed.ErrorText = ErrorText();
    failed.Refusal = connection.Refusal();
    const char* state = Handle() ? mysql_sqlstate(Handle()) : nullptr;
    failed.SqlState = state && *state && std::strcmp(state, "00000") != 0 ? state : "HY000";
    return failed;
}

bool TMySQLDataSet::SelectDatabase(const std::string& name)
{
    MYSQL* handle = Handle();
    if (!handle)
        return false;
    TMySQLConnection& connection = *Connection();
    connection.ForgetError();
    ClientWaits::TScope waits(connection.FInterrupt, nullptr, std::nullopt);
    if (mysql_select_db(handle, name.c_str()) == 0)
        return true;
    connection.StatementFailed();
    return false;
}
