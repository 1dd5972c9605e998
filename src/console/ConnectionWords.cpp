#include "ConnectionWords.h"

std::string VerificationText(TServerVerification verification)
{
    switch (verification) {
    case TServerVerification::Authority:
        return "сервер проверен центром сертификации";
    case TServerVerification::TrustedFingerprint:
        return "сервер проверен по доверенному отпечатку";
    case TServerVerification::None:
        break;
    }
    return "сервер не проверен";
}

std::string SecurityText(const TMySQLConnection& connection)
{
    std::string text = connection.EncryptionText();
    // A plain connection says so alone: nothing was there to verify.
    if (connection.Encrypted())
        text += ", " + VerificationText(connection.Verification());
    return text;
}
