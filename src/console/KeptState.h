// What the program keeps between runs when the user lets it: recent connections, trusted certificates,
// each server and user's history and the window's place, in files under the user's XDG folders.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "MySQLClasses.h"

class TQueryHistory;

// One connection the user made, as the connect dialog offers it again (never its password).
struct TRecentConnection {
    std::string Host;
    std::int32_t Port = 0;
    std::string User;
    TTlsMode TlsMode = TTlsMode::WhenOffered;
    std::string CAFile;

    // The same server and account: host, port and user.
    bool SameAccount(const TRecentConnection& other) const
    {
        return Host == other.Host && Port == other.Port && User == other.User;
    }
};

// The files, all mode 600 in folders of mode 700:
//   CONFIG/brindlecast/settings.json     whether to keep anything, and the window's place
//   CONFIG/brindlecast/connections.json  the newest RecentLimit connections, newest first
//   CONFIG/brindlecast/trusted.json      trusted certificate fingerprints per host and port
//   DATA/brindlecast/history/HASH.json   one server and user's history, oldest first
// where CONFIG is $XDG_CONFIG_HOME (~/.config) and DATA $XDG_DATA_HOME (~/.local/share). Every change
// reads the file afresh under a lock file beside it (NAME.lock), applies itself and writes the whole
// file to a temporary one that is renamed over the old: two running copies add to what the other
// wrote instead of replacing it, and a crash leaves the old file or the new, never half of one. A
// file that cannot be read as what it should be is renamed NAME.damaged-TIME, the problem handler
// is told, and the program goes on as if it had been empty.
//
// Used from the GUI thread only.
class TKeptState {
public:
    static constexpr int RecentLimit = 20;
    static constexpr int HistoryLimit = 1000;
    // A history entry longer than this stays in the console's own history but is not written.
    static constexpr int HistoryEntryLimit = 1 << 20;

    // The user's XDG folders.
    TKeptState();
    // Folders of the caller's choosing (tests).
    TKeptState(const QString& configDir, const QString& dataDir);

    // Whether "Запоминать подключения и историю" is on (it is unless turned off). Off, nothing is
    // read or written but the setting itself.
    bool Enabled() const;
    // Turning it off removes every kept file but the setting.
    void SetEnabled(bool enabled);

    // Newest first.
    std::vector<TRecentConnection> RecentConnections() const;
    // Puts the connection first, replacing one to the same account, and drops the oldest past the limit.
    void RememberConnection(const TRecentConnection& connection);
    void ForgetConnection(const TRecentConnection& connection);

    // The fingerprint trusted for host and port, empty when none.
    std::string TrustedFingerprint(const std::string& host, std::int32_t port) const;
    // Trusts fingerprint for host and port, replacing any earlier one.
    void TrustFingerprint(const std::string& host, std::int32_t port, const std::string& fingerprint);

    // A server and user's kept history, oldest first.
    QStringList History(const std::string& host, std::int32_t port, const std::string& user) const;
    // Adds entry as TQueryHistory::Record does, unless it carries a password or is too long; keeps
    // the newest HistoryLimit.
    void KeepHistoryEntry(const std::string& host, std::int32_t port, const std::string& user,
                          const QString& entry);
    // Loads the connection's kept history into history and has it keep every entry it records.
    void AttachHistory(TQueryHistory& history, const TConnectionInfo& info);
    // Whether a statement may carry a password: IDENTIFIED anywhere (BY, VIA, WITH, GRANT …
    // IDENTIFIED), PASSWORD(, SET PASSWORD, CREATE or ALTER USER, and a replica's MASTER_PASSWORD.
    static bool CarriesPassword(const QString& statement);

    // The window's geometry as QWidget::saveGeometry gives it; empty when none is kept.
    QByteArray WindowGeometry() const;
    void KeepWindowGeometry(const QByteArray& geometry);

    // Told, in the user's words, of a file set aside or one that could not be written. By default
    // the message goes to the log.
    void SetProblemHandler(std::function<void(const QString&)> handler);

    QString SettingsFile() const;
    QString ConnectionsFile() const;
    QString TrustedFile() const;
    QString HistoryFolder() const;
    QString HistoryFile(const std::string& host, std::int32_t port, const std::string& user) const;

private:
    // The file's object: empty when it is missing, unreadable as an object (then set aside) or
    // unreadable at all (then the handler is told).
    QJsonObject Read(const QString& path) const;
    // Reads the file afresh under its lock, lets change edit it and writes it whole. False when
    // the file could not be locked or written (the handler is told).
    bool Update(const QString& path, const std::function<void(QJsonObject&)>& change) const;
    bool Write(const QString& path, const QJsonObject& object) const;
    void Problem(const QString& message) const;

    QString FConfigDir;
    QString FDataDir;
    std::function<void(const QString&)> FProblemHandler;
};

// The program's kept state, in the user's XDG folders.
TKeptState& KeptState();
