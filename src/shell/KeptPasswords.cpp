#include "KeptPasswords.h"

#include <qt6keychain/keychain.h>

namespace {

const QString kService = QStringLiteral("Brindlecast");

QString Key(const std::string& host, std::int32_t port, const std::string& user)
{
    return QString::fromStdString(user) + u'@' + QString::fromStdString(host) + u':' + QString::number(port);
}

QString ProblemOf(const QKeychain::Job& job)
{
    if (job.error() == QKeychain::NoError)
        return {};
    return QStringLiteral("Связка ключей рабочего стола (Secret Service) недоступна: %1. "
                          "Пароль не сохранён ни в ней, ни где-либо ещё.")
        .arg(job.errorString());
}

// Every job deletes itself once done has run; none ever falls back to a plain file.
template <class TJob>
TJob* MakeJob(const QString& key)
{
    auto* job = new TJob(kService);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(key);
    return job;
}

} // namespace

namespace KeptPasswords {

void Probe(std::function<void(const QString& problem)> done)
{
    // A look-up of an entry nobody writes: "not found" means a keyring answered.
    auto* job = MakeJob<QKeychain::ReadPasswordJob>(QStringLiteral("probe"));
    QObject::connect(job, &QKeychain::Job::finished, [done = std::move(done)](QKeychain::Job* finished) {
        done(finished->error() == QKeychain::EntryNotFound ? QString() : ProblemOf(*finished));
    });
    job->start();
}

void Read(const std::string& host, std::int32_t port, const std::string& user,
          std::function<void(bool found, const std::string& password)> done)
{
    auto* job = MakeJob<QKeychain::ReadPasswordJob>(Key(host, port, user));
    QObject::connect(job, &QKeychain::Job::finished, [done = std::move(done)](QKeychain::Job* finished) {
        const auto* read = static_cast<QKeychain::ReadPasswordJob*>(finished);
        if (read->error() == QKeychain::NoError)
            done(true, read->textData().toStdString());
        else
            done(false, {});
    });
    job->start();
}

void Write(const std::string& host, std::int32_t port, const std::string& user, const std::string& password,
           std::function<void(const QString& problem)> done)
{
    auto* job = MakeJob<QKeychain::WritePasswordJob>(Key(host, port, user));
    job->setTextData(QString::fromStdString(password));
    QObject::connect(job, &QKeychain::Job::finished,
                     [done = std::move(done)](QKeychain::Job* finished) { done(ProblemOf(*finished)); });
    job->start();
}

void Remove(const std::string& host, std::int32_t port, const std::string& user)
{
    MakeJob<QKeychain::DeletePasswordJob>(Key(host, port, user))->start();
}

} // namespace KeptPasswords
