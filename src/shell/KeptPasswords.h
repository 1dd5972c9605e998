// Passwords kept in the desktop's keyring (the Secret Service), never in a file of the program's.
#pragma once

#include <functional>
#include <string>

#include <QString>

// Each call starts a job of the keyring's and returns at once; done is called on the GUI thread
// when the keyring has answered (a job that outlives its caller's window still ends cleanly: the
// caller guards done with a QPointer). The entries are the service "Brindlecast", keyed by
// user@host:port.
namespace KeptPasswords {

// Whether a keyring answers: done gets an empty text when one does, else why not, in the user's words.
void Probe(std::function<void(const QString& problem)> done);
// The password kept for the account; done gets found false when there is none or no keyring.
void Read(const std::string& host, std::int32_t port, const std::string& user,
          std::function<void(bool found, const std::string& password)> done);
// Keeps the password; done gets an empty text when it was kept, else why not.
void Write(const std::string& host, std::int32_t port, const std::string& user, const std::string& password,
           std::function<void(const QString& problem)> done);
void Remove(const std::string& host, std::int32_t port, const std::string& user);

} // namespace KeptPasswords
