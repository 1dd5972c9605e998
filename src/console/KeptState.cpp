#include "KeptState.h"

#include "QueryHistory.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLockFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtDebug>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kFolder = "/brindlecast";
// Longer than any one read-change-write takes; a lock older than this was left by a copy that died.
constexpr int kStaleLockMs = 30000;
constexpr int kLockWaitMs = 5000;

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text)
{
    return text.toStdString();
}

// Makes the folder (and its parents) and leaves it readable by its owner alone.
bool MakePrivateFolder(const QString& folder)
{
    if (!QDir().mkpath(folder))
        return false;
    return ::chmod(QFile::encodeName(folder).constData(), 0700) == 0;
}

QJsonObject ConnectionObject(const TRecentConnection& connection)
{
    QJsonObject object;
    object[QStringLiteral("host")] = FromUtf8(connection.Host);
    object[QStringLiteral("port")] = connection.Port;
    object[QStringLiteral("user")] = FromUtf8(connection.User);
    object[QStringLiteral("encryption")] = static_cast<int>(connection.TlsMode);
    object[QStringLiteral("caFile")] = FromUtf8(connection.CAFile);
    return object;
}

std::optional<TRecentConnection> ConnectionOf(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    TRecentConnection connection;
    connection.Host = ToUtf8(object[QStringLiteral("host")].toString());
    connection.Port = object[QStringLiteral("port")].toInt();
    connection.User = ToUtf8(object[QStringLiteral("user")].toString());
    const int mode = object[QStringLiteral("encryption")].toInt();
    if (connection.Host.empty() || connection.Port <= 0 || connection.Port > 65535 || mode < 0
        || mode > static_cast<int>(TTlsMode::Verified))
        return std::nullopt;
    connection.TlsMode = static_cast<TTlsMode>(mode);
    connection.CAFile = ToUtf8(object[QStringLiteral("caFile")].toString());
    return connection;
}

QString PinKey(const std::string& host, std::int32_t port)
{
    return FromUtf8(host) + u':' + QString::number(port);
}

} // namespace

TKeptState::TKeptState()
    : TKeptState(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + kFolder,
                 QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + kFolder)
{
}

TKeptState::TKeptState(const QString& configDir, const QString& dataDir)
    : FConfigDir(configDir)
    , FDataDir(dataDir)
{
}

QString TKeptState::SettingsFile() const
{
    return FConfigDir + QStringLiteral("/settings.json");
}

QString TKeptState::ConnectionsFile() const
{
    return FConfigDir + QStringLiteral("/connections.json");
}

QString TKeptState::TrustedFile() const
{
    return FConfigDir + QStringLiteral("/trusted.json");
}

QString TKeptState::HistoryFolder() const
{
    return FDataDir + QStringLiteral("/history");
}

QString TKeptState::HistoryFile(const std::string& host, std::int32_t port, const std::string& user) const
{
    // A name from the account that needs no quoting whatever the host and user hold.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArray::fromStdString(user));
    hash.addData(QByteArray(1, '\0'));
    hash.addData(QByteArray::fromStdString(host));
    hash.addData(QByteArray(1, '\0'));
    hash.addData(QByteArray::number(port));
    return HistoryFolder() + u'/' + QString::fromLatin1(hash.result().toHex().left(32)) + QStringLiteral(".json");
}

void TKeptState::SetProblemHandler(std::function<void(const QString&)> handler)
{
    FProblemHandler = std::move(handler);
}

void TKeptState::Problem(const QString& message) const
{
    if (FProblemHandler)
        FProblemHandler(message);
    else
        qWarning().noquote() << message;
}

QJsonObject TKeptState::Read(const QString& path) const
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        Problem(QStringLiteral("Не удалось прочитать файл «%1»: %2.").arg(path, file.errorString()));
        return {};
    }
    const QByteArray bytes = file.readAll();
    file.close();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error == QJsonParseError::NoError && document.isObject())
        return document.object();
    // Whatever is in it stays for the user to look at; the program starts that part afresh.
    const QString aside =
        path + QStringLiteral(".damaged-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    if (QFile::rename(path, aside))
        Problem(QStringLiteral("Файл «%1» повреждён и отложен как «%2». Сохранённое в нём не прочитано.")
                    .arg(path, aside));
    else
        Problem(QStringLiteral("Файл «%1» повреждён, и отложить его не удалось. Сохранённое в нём не прочитано.")
                    .arg(path));
    return {};
}

bool TKeptState::Write(const QString& path, const QJsonObject& object) const
{
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary = target + ".tmp-" + QByteArray::number(::getpid());
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    bool written = fd >= 0 && ::fchmod(fd, 0600) == 0;
    for (qsizetype at = 0; written && at < bytes.size();) {
        const ssize_t count = ::write(fd, bytes.constData() + at, static_cast<size_t>(bytes.size() - at));
        if (count < 0 && errno == EINTR)
            continue;
        written = count > 0;
        at += count > 0 ? count : 0;
    }
    const int error = written ? 0 : errno;
    written = written && ::fsync(fd) == 0;
    if (fd >= 0)
        written = ::close(fd) == 0 && written;
    written = written && ::rename(temporary.constData(), target.constData()) == 0;
    if (!written) {
        ::unlink(temporary.constData());
        Problem(QStringLiteral("Не удалось записать файл «%1»: %2.")
                    .arg(path, QString::fromLocal8Bit(std::strerror(error ? error : errno))));
    }
    return written;
}

bool TKeptState::Update(const QString& path, const std::function<void(QJsonObject&)>& change) const
{
    if (!MakePrivateFolder(QFileInfo(path).absolutePath())) {
        Problem(QStringLiteral("Не удалось создать папку «%1».").arg(QFileInfo(path).absolutePath()));
        return false;
    }
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(kStaleLockMs);
    if (!lock.tryLock(kLockWaitMs)) {
        Problem(QStringLiteral("Файл «%1» занят другой копией программы; изменение не сохранено.").arg(path));
        return false;
    }
    QJsonObject object = Read(path);
    change(object);
    return Write(path, object);
}

bool TKeptState::Enabled() const
{
    const QJsonValue keep = Read(SettingsFile())[QStringLiteral("keep")];
    return !keep.isBool() || keep.toBool();
}

void TKeptState::SetEnabled(bool enabled)
{
    if (enabled) {
        Update(SettingsFile(), [](QJsonObject& object) { object[QStringLiteral("keep")] = true; });
        return;
    }
    // The setting itself stays, so that the next run keeps nothing either.
    Update(SettingsFile(), [](QJsonObject& object) { object = QJsonObject{{QStringLiteral("keep"), false}}; });
    for (const QString& file : {ConnectionsFile(), TrustedFile()})
        QFile::remove(file);
    QDir(HistoryFolder()).removeRecursively();
}

std::vector<TRecentConnection> TKeptState::RecentConnections() const
{
    std::vector<TRecentConnection> result;
    if (!Enabled())
        return result;
    for (const QJsonValue& value : Read(ConnectionsFile())[QStringLiteral("recent")].toArray()) {
        if (std::optional<TRecentConnection> connection = ConnectionOf(value))
            result.push_back(std::move(*connection));
    }
    return result;
}

void TKeptState::RememberConnection(const TRecentConnection& connection)
{
    if (!Enabled())
        return;
    Update(ConnectionsFile(), [&connection](QJsonObject& object) {
        QJsonArray recent{ConnectionObject(connection)};
        for (const QJsonValue& value : object[QStringLiteral("recent")].toArray()) {
            const std::optional<TRecentConnection> other = ConnectionOf(value);
            if (other && !other->SameAccount(connection) && recent.size() < RecentLimit)
                recent.append(value);
        }
        object[QStringLiteral("recent")] = recent;
    });
}

void TKeptState::ForgetConnection(const TRecentConnection& connection)
{
    if (!Enabled())
        return;
    Update(ConnectionsFile(), [&connection](QJsonObject& object) {
        QJsonArray recent;
        for (const QJsonValue& value : object[QStringLiteral("recent")].toArray()) {
            const std::optional<TRecentConnection> other = ConnectionOf(value);
            if (other && !other->SameAccount(connection))
                recent.append(value);
        }
        object[QStringLiteral("recent")] = recent;
    });
}

std::string TKeptState::TrustedFingerprint(const std::string& host, std::int32_t port) const
{
    if (!Enabled())
        return {};
    return ToUtf8(Read(TrustedFile())[QStringLiteral("trusted")].toObject()[PinKey(host, port)].toString());
}

void TKeptState::TrustFingerprint(const std::string& host, std::int32_t port, const std::string& fingerprint)
{
    if (!Enabled())
        return;
    Update(TrustedFile(), [&](QJsonObject& object) {
        QJsonObject trusted = object[QStringLiteral("trusted")].toObject();
        trusted[PinKey(host, port)] = FromUtf8(fingerprint);
        object[QStringLiteral("trusted")] = trusted;
    });
}

QStringList TKeptState::History(const std::string& host, std::int32_t port, const std::string& user) const
{
    QStringList entries;
    if (!Enabled())
        return entries;
    for (const QJsonValue& value : Read(HistoryFile(host, port, user))[QStringLiteral("entries")].toArray()) {
        if (value.isString())
            entries.append(value.toString());
    }
    return entries;
}

void TKeptState::KeepHistoryEntry(const std::string& host, std::int32_t port, const std::string& user,
                                  const QString& entry)
{
    if (entry.size() > HistoryEntryLimit || CarriesPassword(entry) || !Enabled())
        return;
    Update(HistoryFile(host, port, user), [&](QJsonObject& object) {
        TQueryHistory history;
        QStringList entries;
        for (const QJsonValue& value : object[QStringLiteral("entries")].toArray()) {
            if (value.isString())
                entries.append(value.toString());
        }
        history.Load(entries);
        history.Record(entry);
        entries = history.Entries();
        if (entries.size() > HistoryLimit)
            entries.remove(0, entries.size() - HistoryLimit);
        // The account is written beside the entries for a reader of the file; the name is a hash.
        object[QStringLiteral("host")] = FromUtf8(host);
        object[QStringLiteral("port")] = port;
        object[QStringLiteral("user")] = FromUtf8(user);
        object[QStringLiteral("entries")] = QJsonArray::fromStringList(entries);
    });
}

void TKeptState::AttachHistory(TQueryHistory& history, const TConnectionInfo& info)
{
    history.Load(History(info.Host, info.Port, info.User));
    history.SetKeeper([this, host = info.Host, port = info.Port, user = info.User](const QString& entry) {
        KeepHistoryEntry(host, port, user, entry);
    });
}

bool TKeptState::CarriesPassword(const QString& statement)
{
    // Words may be parted by blanks, line breaks and comments.
    static const QString gap = QStringLiteral(R"((?:\s|/\*.*?\*/|--[^\n]*\n|#[^\n]*\n)+)");
    static const QRegularExpression pattern(
        QStringLiteral(R"(\bIDENTIFIED\b|\bMASTER_PASSWORD\b|\bPASSWORD\s*\(|\bSET%1PASSWORD\b)"
                       R"(|\b(?:CREATE|ALTER)%1(?:OR%1REPLACE%1)?USER\b)")
            .arg(gap),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    return pattern.match(statement).hasMatch();
}

QByteArray TKeptState::WindowGeometry() const
{
    if (!Enabled())
        return {};
    return QByteArray::fromBase64(Read(SettingsFile())[QStringLiteral("window")].toString().toLatin1());
}

void TKeptState::KeepWindowGeometry(const QByteArray& geometry)
{
    if (!Enabled())
        return;
    Update(SettingsFile(), [&geometry](QJsonObject& object) {
        object[QStringLiteral("window")] = QString::fromLatin1(geometry.toBase64());
    });
}

TKeptState& KeptState()
{
    static TKeptState state;
    return state;
}
