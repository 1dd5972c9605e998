// The database client layer: connections, data sets, stored result sets and rows over the MySQL C API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <mysql.h>

#include "ClientRefusal.h"
#include "ConnectionSecurity.h"
#include "CoreDumps.h"
#include "LocalInfile.h"
#include "MySQLPackedResult.h"

// One set of connection parameters, copied by value from the connect dialog to a console.
struct TConnectionInfo {
    std::string Host;
    std::int32_t Port = 0;
    std::string User;
    std::string Password;
    TTlsMode TlsMode = TTlsMode::WhenOffered;
    // With TTlsMode::Verified: the file of the authorities to trust (PEM); empty for the system's.
    std::string CAFile{};
    // With TTlsMode::Verified: the SHA-256 fingerprint of a certificate the user chose to trust
    // although it could not be verified; empty when there is none.
    std::string PinnedFingerprint{};
};

struct TMySQLHandleCloser {
    void operator()(MYSQL* handle) const { mysql_close(handle); }
};
using TMySQLHandle = std::unique_ptr<MYSQL, TMySQLHandleCloser>;

struct TMySQLResultFreer {
    void operator()(MYSQL_RES* result) const { mysql_free_result(result); }
};
using TMySQLResultHandle = std::unique_ptr<MYSQL_RES, TMySQLResultFreer>;

class TMySQLCustomDataSet;
namespace ClientWaits {
class TSocketHolder;
}

// The parameters of one connection and the client library's handle. The handle is made by Connect
// and closed by Disconnect; the handle of a failed Connect is kept so that its error stays readable,
// and is closed by the next Connect or with the object.
class TMySQLConnection {
public:
    // The port used where Port is 0.
    static constexpr std::int32_t DefaultPort = 3306;
    // How long a whole connect may take, from the TCP connect to the end of the login, in seconds,
    // however slowly the server answers. Statements have no time limit of their own: Interrupt ends
    // them.
    static constexpr unsigned ConnectTimeout = 10;

    TMySQLConnection();
    ~TMySQLConnection();
    TMySQLConnection(const TMySQLConnection&) = delete;
    TMySQLConnection& operator=(const TMySQLConnection&) = delete;

    std::int32_t Port() const { return FPort; }
    void SetPort(std::int32_t port) { FPort = port; }
    const std::string& Host() const { return FHost; }
    void SetHost(const std::string& host) { FHost = host; }
    const std::string& User() const { return FUser; }
    void SetUser(const std::string& user) { FUser = user; }
    const std::string& Password() const { return FPassword; }
    void SetPassword(const std::string& password)
    {
        if (!password.empty())
            KeepPasswordsOutOfCoreDumps();
        FPassword = password;
    }
    TTlsMode TlsMode() const { return FTlsMode; }
    void SetTlsMode(TTlsMode mode) { FTlsMode = mode; }
    const std::string& CAFile() const { return FCAFile; }
    void SetCAFile(const std::string& caFile) { FCAFile = caFile; }
    const std::string& PinnedFingerprint() const { return FPinnedFingerprint; }
    void SetPinnedFingerprint(const std::string& fingerprint) { FPinnedFingerprint = fingerprint; }

    // 1 when a data set made this connection for itself and owns it, 0 otherwise.
    std::int32_t OwnedByDataSet() const { return FOwnedByDataSet; }

    // Client flags the next Connect asks for besides multiple results (for example several
    // statements in one request, or session-state tracking). None after construction.
    unsigned long ClientFlags() const { return FClientFlags; }
    void SetClientFlags(unsigned long flags) { FClientFlags = flags; }

    // Connects with utf8mb4 as the connection's character set; a Port of 0 becomes DefaultPort
    // first (and stays). False on failure; the reason is then in GetErrorCode / GetErrorText. Never
    // throws.
    //
    // TLS as TlsMode asks. In the modes that require it the connection goes over TCP (also to
    // "localhost"), and the server's greeting and certificate are looked at before the library
    // connects; the library then pins that certificate, so nothing is sent to a server that was not
    // accepted. A login that hands the password itself over is made only in the verified mode; any
    // other login that would reveal it is refused, and the refusal names what the server asked for.
    // A server may read a local file only as LOAD DATA LOCAL INFILE allows (TMySQLDataSet::Query).
    bool Connect();
    void Disconnect();
    // The error of the last call on the handle; 0 and "" when it succeeded. Without a handle, the
    // library's "server has gone away" error. Where this layer refused (a certificate, a login, a
    // parameter, the time limit of a connect, a file a server asked for), the code is the refusal's
    // and the text is empty: Refusal says why, for the caller to word.
    std::uint32_t GetErrorCode() const;
    std::string GetErrorText() const;
    // Why this layer refused the last call on the handle; nullopt when the error, if any, is the
    // server's or the library's.
    const std::optional<TClientRefusal>& Refusal() const { return FRefusal; }
    // Whether an error code says that the connection is gone (the server went away, the connection
    // was lost or killed): only a new connection helps then.
    static bool IsConnectionLost(std::uint32_t errorCode);
    // After a Connect that failed on a certificate in the verified mode: why, and its fingerprint,
    // which the user may trust (PinnedFingerprint) for the next attempt.
    const std::optional<TCertificateProblem>& CertificateProblem() const;
    // After a Connect that succeeded: how the server was verified (None unless in the verified mode).
    TServerVerification Verification() const { return FVerification; }
    // How the connection is encrypted: "TLS 1.3, TLS_AES_256_GCM_SHA384"; empty for a plain
    // connection and when there is none.
    std::string EncryptionText() const;
    // Whether the connection runs over TLS.
    bool Encrypted() const;
    // The server's id of this connection (what KILL names), or 0 without a connection.
    std::uint64_t ConnectionId() const;
    // The version the server gave at connect, or "" without a connection.
    std::string ServerVersion() const;

    // Ends every wait for the server on this connection at once, the one under way and those to
    // come, until ClearInterrupt: a connect fails, a statement fails with a lost connection, and the
    // socket is shut down (also under TLS), so the connection is lost for good. Callable from any
    // thread.
    void Interrupt();
    // Lets waits happen again (a new Connect can then succeed). Not while another thread uses the
    // connection.
    void ClearInterrupt();

    // The library handle, or null while there is none.
    MYSQL* Handle() const { return FHandle.get(); }

private:
    friend class TMySQLCustomDataSet;
    friend class TMySQLDataSet;

    // Before a call on the handle: the error of the last one is forgotten.
    void ForgetError();
    // After a statement failed: makes the error tell what happened (a file request this layer
    // refused, a connection that ended under TLS) rather than what the library last saw.
    void StatementFailed();

    std::int32_t FOwnedByDataSet = 0;
    std::int32_t FPort = 3306;
    std::string FPassword;
    std::string FHost = "localhost";
    std::string FUser;
    unsigned long FClientFlags = 0;
    TTlsMode FTlsMode = TTlsMode::WhenOffered;
    std::string FCAFile;
    std::string FPinnedFingerprint;
    TMySQLHandle FHandle;
    int FInterrupt = -1; // an event descriptor, readable once Interrupt has been called
    std::unique_ptr<ClientWaits::TSocketHolder> FSocket; // what Interrupt shuts down
    // The error of the last call where not the handle's own: this layer's refusal, or words of the
    // server or the library that the handle does not hold; cleared by the next call on the handle.
    std::optional<TClientRefusal> FRefusal;
    std::optional<std::pair<std::uint32_t, std::string>> FOwnError;
    TServerVerification FVerification = TServerVerification::None;
    // The files a server may ask for while a statement runs (set by TMySQLDataSet::SetLocalFiles).
    LocalInfile::TFiles FLocalFiles;
};

class IMySQLRow;

// A stored result set: all rows are in client memory from creation on; rows are handed out once
// each, in order.
class IMySQLQueryResult {
public:
    virtual ~IMySQLQueryResult() = default;
    virtual std::int32_t GetRowCount() const = 0;
    virtual std::int32_t GetFieldCount() const = 0;
    // The next row, or null after the last one (however often it is asked).
    virtual std::shared_ptr<IMySQLRow> FetchRow() = 0;
    // The first column whose name equals name exactly (bytes, case-sensitive), or -1.
    virtual std::int32_t GetFieldIndex(const std::string& name) const = 0;
    virtual std::string GetFieldName(std::int32_t index) const = 0;
    virtual const MYSQL_FIELD* GetField(std::int32_t index) const = 0;
    virtual const MYSQL_FIELD* GetFields() const = 0;
};

// One fetched row. NULL values read as empty strings; values are whole (zero bytes included).
class IMySQLRow {
public:
    virtual ~IMySQLRow() = default;
    virtual const std::string& GetValue(std::int32_t index) const = 0;
    // The value of the first column of that exact name, or an empty string.
    virtual std::string GetValueByName(const std::string& name) const = 0;
};

class TMySQLQueryResult final : public IMySQLQueryResult,
                                public std::enable_shared_from_this<TMySQLQueryResult> {
public:
    // Takes a stored result (never null) read from handle.
    TMySQLQueryResult(MYSQL* handle, TMySQLResultHandle result);

    std::int32_t GetRowCount() const override { return FRowCount; }
    std::int32_t GetFieldCount() const override { return FFieldCount; }
    std::shared_ptr<IMySQLRow> FetchRow() override;
    std::int32_t GetFieldIndex(const std::string& name) const override;
    std::string GetFieldName(std::int32_t index) const override;
    const MYSQL_FIELD* GetField(std::int32_t index) const override;
    const MYSQL_FIELD* GetFields() const override;

private:
    std::int32_t FRowIndex = 0;
    MYSQL* FHandle;
    TMySQLResultHandle FResult;
    mutable const MYSQL_FIELD* FFields = nullptr;
    std::int32_t FRowCount;
    std::int32_t FFieldCount;
};

class TMySQLRow final : public IMySQLRow {
public:
    // Reads the next row of the stored result; the row keeps its result alive.
    TMySQLRow(std::shared_ptr<const TMySQLQueryResult> result, MYSQL_RES* stored);

    const std::string& GetValue(std::int32_t index) const override { return FValues[index]; }
    std::string GetValueByName(const std::string& name) const override;

private:
    std::vector<std::string> FValues;
    std::shared_ptr<const TMySQLQueryResult> FQueryResult;
};

// Opens and closes a connection (its own, or one assigned to it), fires events and, in
// TMySQLDataSet, runs statements. Reports failure through results plus ErrorCode / ErrorText and
// never throws.
class TMySQLCustomDataSet {
public:
    using TOnConnectEvent = std::function<void(TMySQLCustomDataSet& sender)>;
    using TOnDisconnectEvent = std::function<void(TMySQLCustomDataSet& sender)>;
    // The handler may replace the SQL text; the replaced text is what is sent.
    using TOnQueryEvent = std::function<void(TMySQLCustomDataSet& sender, std::string& query)>;

    // Exists while a data set is connected.
    class TMySQLDB {
    public:
        explicit TMySQLDB(TMySQLCustomDataSet* dataSet) : FDataSet(dataSet) {}

    private:
        [[maybe_unused]] TMySQLCustomDataSet* FDataSet;
    };

    TMySQLCustomDataSet();
    virtual ~TMySQLCustomDataSet();
    TMySQLCustomDataSet(const TMySQLCustomDataSet&) = delete;
    TMySQLCustomDataSet& operator=(const TMySQLCustomDataSet&) = delete;

    // Applies the default port 3306 to a port of 0 (it stays), connects, fires OnConnect.
    bool Open();
    // Closes the handle and fires OnDisconnect; nothing when not connected.
    void Close();

    std::uint32_t ErrorCode() const { return FConnection->GetErrorCode(); }
    std::string ErrorText() const { return FConnection->GetErrorText(); }
    const std::optional<TClientRefusal>& Refusal() const { return FConnection->Refusal(); }
    // The affected-row count of the last statement, the library's full 64-bit count (-1 when the
    // library reports none).
    std::int64_t AffectedRows() const;

    TMySQLConnection* Connection() const { return FConnection; }
    // Assigning null makes a fresh own connection. The data set frees only a connection it made
    // itself; one assigned from outside stays its supplier's.
    void SetConnection(TMySQLConnection* connection);

    bool Connected() const { return FConnected; }
    // True opens; false closes.
    void SetConnected(bool connected);

    std::int32_t Port() const { return FConnection->Port(); }
    void SetPort(std::int32_t port) { FConnection->SetPort(port); }
    const std::string& Host() const { return FConnection->Host(); }
    void SetHost(const std::string& host) { FConnection->SetHost(host); }
    const std::string& User() const { return FConnection->User(); }
    void SetUser(const std::string& user) { FConnection->SetUser(user); }
    const std::string& Password() const { return FConnection->Password(); }
    void SetPassword(const std::string& password) { FConnection->SetPassword(password); }
    TTlsMode TlsMode() const { return FConnection->TlsMode(); }
    void SetTlsMode(TTlsMode mode) { FConnection->SetTlsMode(mode); }
    const std::string& CAFile() const { return FConnection->CAFile(); }
    void SetCAFile(const std::string& caFile) { FConnection->SetCAFile(caFile); }
    const std::string& PinnedFingerprint() const { return FConnection->PinnedFingerprint(); }
    void SetPinnedFingerprint(const std::string& fingerprint) { FConnection->SetPinnedFingerprint(fingerprint); }

    TOnConnectEvent OnConnect;
    TOnDisconnectEvent OnDisconnect;
    TOnQueryEvent OnQuery;
    // Called now and then on the reading thread while a result set's rows are read as they arrive
    // (Streamed), with how many of them have arrived so far.
    std::function<void(std::int64_t rows)> OnRowsRead;

protected:
    MYSQL* Handle() const { return FConnection->Handle(); }

private:
    void MakeOwnConnection();

    TMySQLConnection* FConnection = nullptr;              // never null
    std::unique_ptr<TMySQLConnection> FOwnConnection;     // set while FConnection is our own
    std::unique_ptr<TMySQLDB> FDB;
    bool FConnected = false;
};

// How the result sets of a request are read: stored whole by the library (Query's way), streamed
// into a packed result as the rows arrive, or read and dropped (the outcome then tells only errors).
enum class TResultReading { Stored, Streamed, Skipped };

// One outcome of a request: a result set (stored or packed, as it was read), or a statement's
// affected-row count, or an error.
struct TMySQLOutcome {
    std::shared_ptr<IMySQLQueryResult> Result; // read Stored; null without a result set
    std::shared_ptr<TMySQLPackedResult> Rows;  // read Streamed; null without a result set
    std::int64_t AffectedRows = 0;             // without a result set
    std::uint32_t ErrorCode = 0;               // non-zero: the request failed here and ends
    std::string ErrorText;                     // the server's or the library's words
    std::optional<TClientRefusal> Refusal;     // where this layer refused: why (ErrorText empty)
    std::string SqlState;                      // with an error: its SQLSTATE ("42S02")
    // The current database, when the server reported with this outcome that it changed (session
    // tracking, on a connection made with CLIENT_SESSION_TRACKING).
    std::optional<std::string> Schema;
    // How many warnings the server reported for this statement; 0 after an error.
    std::uint32_t Warnings = 0;
};

class TMySQLDataSet : public TMySQLCustomDataSet {
public:
    // Sends one statement. Returns the statement's first result set, or null: after a failure
    // (ErrorCode non-zero) or for a statement without a result set (ErrorCode 0, AffectedRows holds
    // its count). Further results of the statement are read and dropped, so nothing stays pending.
    // While it runs, the server may read exactly the files given to SetLocalFiles before it; any
    // other request is refused and fails the statement.
    std::shared_ptr<IMySQLQueryResult> Query(const std::string& sql);

    // The files the server may read with LOAD DATA LOCAL INFILE while the next request runs, as the
    // caller found them named in that request's text; none unless set. The request's end forgets them.
    void SetLocalFiles(std::vector<std::string> names);

    // Sends a request (several statements where the connection allows them; OnQuery may replace the
    // text) and reads its first outcome. While MoreOutcomes, NextOutcome reads the next one, in the
    // server's order; an outcome with an error is the last. Every outcome must be read before the
    // next request. A result set that fails before its last row (an error, a kill, a lost
    // connection) gives the error alone: the rows read before it are dropped.
    TMySQLOutcome Execute(const std::string& sql, TResultReading reading = TResultReading::Stored);
    bool MoreOutcomes() const;
    TMySQLOutcome NextOutcome(TResultReading reading = TResultReading::Stored);

    // Makes name the connection's current database (the server's own request for it, so nothing in
    // the name needs quoting). False on failure, with the reason in ErrorCode / ErrorText.
    bool SelectDatabase(const std::string& name);

private:
    TMySQLOutcome ReadOutcome(TResultReading reading);
    // The outcome that ends a request on a failure, with the connection's error.
    TMySQLOutcome FailedOutcome();
};
