#include "AuthPlugins.h"

#include <cstring>
#include <vector>

#include <mysql/plugin_auth.h>
#include <openssl/evp.h>

namespace AuthPlugins {

// The login of the connect under way on this thread.
thread_local TConnectScope* tScope = nullptr;

struct TScopeAccess {
    static bool PasswordMayLeave() { return tScope && tScope->FPasswordMayLeave; }
    static void Refuse(TClientRefusal refusal)
    {
        if (tScope)
            tScope->FRefusal = std::move(refusal);
    }
};

namespace {

// The library's plugin interface: the header its own mysql.h declares, then the login's one entry.
constexpr int kAuthenticationPlugin = 2;
constexpr unsigned kAuthenticationInterface = 0x0100;

struct TAuthPlugin {
    MYSQL_CLIENT_PLUGIN_HEADER
    int (*authenticate_user)(MYSQL_PLUGIN_VIO* vio, MYSQL* mysql);
};

using TKind = TClientRefusal::TKind;

TClientRefusal MakeRefusal(TKind kind)
{
    TClientRefusal refusal;
    refusal.Kind = kind;
    return refusal;
}

// The refusal of a login that would hand the password to the peer, naming what makes the peer one
// that could read it.
int RefusePassword(const char* login, bool fullAuthentication, MYSQL_PLUGIN_VIO* vio, MYSQL* mysql)
{
    TClientRefusal refusal = MakeRefusal(TKind::PasswordLogin);
    refusal.Login = login;
    refusal.FullAuthentication = fullAuthentication;
    MYSQL_PLUGIN_VIO_INFO info{};
    vio->info(vio, &info);
    if (info.protocol == MYSQL_PLUGIN_VIO_INFO::MYSQL_VIO_SOCKET)
        refusal.Channel = TClientRefusal::TChannel::LocalSocket;
    else if (mysql_get_ssl_cipher(mysql) == nullptr)
        refusal.Channel = TClientRefusal::TChannel::Plain;
    else
        refusal.Channel = TClientRefusal::TChannel::Unverified;
    TScopeAccess::Refuse(std::move(refusal));
    return CR_ERROR;
}

bool MayHandOver(MYSQL* mysql)
{
    return TScopeAccess::PasswordMayLeave() && mysql_get_ssl_cipher(mysql) != nullptr;
}

std::string PasswordOf(MYSQL* mysql)
{
    return mysql->passwd ? std::string(mysql->passwd) : std::string();
}

// Sends the password as the logins that hand it over do: its bytes and a zero byte.
int SendPassword(MYSQL_PLUGIN_VIO* vio, const std::string& password)
{
    const std::string packet = password + '\0';
    return vio->write_packet(vio, reinterpret_cast<const unsigned char*>(packet.data()),
                             static_cast<int>(packet.size()))
        ? CR_ERROR
        : CR_OK;
}

std::vector<unsigned char> Sha256(std::initializer_list<std::pair<const unsigned char*, std::size_t>> parts)
{
    std::vector<unsigned char> digest(32);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
    for (const auto& [data, size] : parts)
        EVP_DigestUpdate(context, data, size);
    unsigned int size = 0;
    EVP_DigestFinal_ex(context, digest.data(), &size);
    EVP_MD_CTX_free(context);
    return digest;
}

int CachingSha2(MYSQL_PLUGIN_VIO* vio, MYSQL* mysql)
{
    unsigned char* packet = nullptr;
    const int length = vio->read_packet(vio, &packet);
    if (length < 20)
        return CR_ERROR;
    const std::string password = PasswordOf(mysql);
    if (password.empty())
        return vio->write_packet(vio, nullptr, 0) ? CR_ERROR : CR_OK;

    // The fast login sends only a proof: SHA256(password) XOR SHA256(SHA256(SHA256(password)), nonce).
    const auto* bytes = reinterpret_cast<const unsigned char*>(password.data());
    const std::vector<unsigned char> stage1 = Sha256({{bytes, password.size()}});
    const std::vector<unsigned char> stage2 = Sha256({{stage1.data(), stage1.size()}});
    std::vector<unsigned char> proof = Sha256({{stage2.data(), stage2.size()}, {packet, 20}});
    for (std::size_t i = 0; i < proof.size(); ++i)
        proof[i] ^= stage1[i];
    if (vio->write_packet(vio, proof.data(), static_cast<int>(proof.size())))
        return CR_ERROR;

    // The server answers 3 when it knew the proof, 4 when it wants the password itself.
    const int answerLength = vio->read_packet(vio, &packet);
    if (answerLength < 0)
        return CR_ERROR;
    const unsigned char* answer = packet;
    int size = answerLength;
    if (size == 2 && answer[0] == 1) {
        ++answer;
        --size;
    }
    if (size == 1 && answer[0] == 3)
        return CR_OK;
    if (size == 1 && answer[0] == 4) {
        if (!MayHandOver(mysql))
            return RefusePassword("caching_sha2_password", true, vio, mysql);
        return SendPassword(vio, password);
    }
    // The final answer came already (OK, an error, another login): the library reads it from there.
    return CR_OK_HANDSHAKE_COMPLETE;
}

int Sha256Password(MYSQL_PLUGIN_VIO* vio, MYSQL* mysql)
{
    unsigned char* packet = nullptr;
    if (vio->read_packet(vio, &packet) < 0)
        return CR_ERROR;
    const std::string password = PasswordOf(mysql);
    if (password.empty())
        return SendPassword(vio, password);
    if (!MayHandOver(mysql))
        return RefusePassword("sha256_password", false, vio, mysql);
    return SendPassword(vio, password);
}

int ClearPassword(MYSQL_PLUGIN_VIO* vio, MYSQL* mysql)
{
    const std::string password = PasswordOf(mysql);
    if (!password.empty() && !MayHandOver(mysql))
        return RefusePassword("mysql_clear_password", false, vio, mysql);
    return SendPassword(vio, password);
}

// The dialog login asks questions; a question whose type says "password" gets the password, and any
// other question cannot be answered here.
int Dialog(MYSQL_PLUGIN_VIO* vio, MYSQL* mysql)
{
    const std::string password = PasswordOf(mysql);
    if (!password.empty() && !MayHandOver(mysql))
        return RefusePassword("dialog", false, vio, mysql);
    while (true) {
        unsigned char* packet = nullptr;
        const int length = vio->read_packet(vio, &packet);
        if (length < 1)
            return CR_ERROR;
        const int type = packet[0];
        const std::string question(reinterpret_cast<const char*>(packet) + 1, static_cast<std::size_t>(length - 1));
        if ((type >> 1) != 2) {
            TClientRefusal refusal = MakeRefusal(TKind::DialogQuestion);
            refusal.Question = question;
            TScopeAccess::Refuse(std::move(refusal));
            return CR_ERROR;
        }
        if (SendPassword(vio, password) != CR_OK)
            return CR_ERROR;
        if (type & 1)
            return CR_OK;
    }
}

int OldPassword(MYSQL_PLUGIN_VIO*, MYSQL* mysql)
{
    // The library takes this login itself for a greeting without the 4.1 protocol's flags: one cut
    // short, or one of a server too old to name a login.
    if ((mysql->server_capabilities & CLIENT_PROTOCOL_41) == 0) {
        TScopeAccess::Refuse(MakeRefusal(TKind::OldGreeting));
        return CR_ERROR;
    }
    TScopeAccess::Refuse(MakeRefusal(TKind::OldPasswordLogin));
    return CR_ERROR;
}

TAuthPlugin MakePlugin(const char* name, int (*authenticate)(MYSQL_PLUGIN_VIO*, MYSQL*))
{
    TAuthPlugin plugin{};
    plugin.type = kAuthenticationPlugin;
    plugin.interface_version = kAuthenticationInterface;
    plugin.name = name;
    plugin.author = "Brindlecast";
    plugin.desc = "a login that hands the password over only to a verified server";
    plugin.version[0] = 1;
    plugin.license = "GPL";
    plugin.authenticate_user = authenticate;
    return plugin;
}

TAuthPlugin gCachingSha2 = MakePlugin("caching_sha2_password", CachingSha2);
TAuthPlugin gSha256 = MakePlugin("sha256_password", Sha256Password);
TAuthPlugin gClear = MakePlugin("mysql_clear_password", ClearPassword);
TAuthPlugin gDialog = MakePlugin("dialog", Dialog);

// Puts a login of this layer in the library's list under its name. Where the library has one of
// that name already (its built-in mysql_old_password, or one named in LIBMYSQL_PLUGINS), that one's
// entry is pointed at this layer's function instead: the list has room for one login per name.
void Take(MYSQL* handle, TAuthPlugin& plugin)
{
    // Registering a name the library has loaded already hands back the loaded one.
    auto* loaded = reinterpret_cast<TAuthPlugin*>(
        mysql_client_register_plugin(handle, reinterpret_cast<st_mysql_client_plugin*>(&plugin)));
    if (loaded && loaded != &plugin)
        loaded->authenticate_user = plugin.authenticate_user;
}

} // namespace

void Install()
{
    MYSQL* handle = mysql_init(nullptr);
    if (!handle)
        return;
    // Logins that send only a proof (or a ticket), loaded from where the library keeps them; later
    // handles load nothing.
    mysql_load_plugin(handle, "client_ed25519", kAuthenticationPlugin, 0);
    mysql_load_plugin(handle, "auth_gssapi_client", kAuthenticationPlugin, 0);
    for (TAuthPlugin* plugin : {&gCachingSha2, &gSha256, &gClear, &gDialog})
        Take(handle, *plugin);
    static TAuthPlugin old = MakePlugin("mysql_old_password", OldPassword);
    Take(handle, old);
    mysql_close(handle);
}

void Restrict(MYSQL* handle)
{
    // A path below a device file: no library file can be found there, whatever name a server asks
    // for, so a login this layer did not install fails to load, in the library's words.
    mysql_optionsv(handle, MYSQL_PLUGIN_DIR, "/dev/null");
}

TConnectScope::TConnectScope(bool passwordMayLeave)
    : FPasswordMayLeave(passwordMayLeave)
    , FSaved(tScope)
{
    tScope = this;
}

TConnectScope::~TConnectScope()
{
    tScope = FSaved;
}

std::optional<TClientRefusal> TConnectScope::Refusal(MYSQL* handle) const
{
    if (FRefusal)
        return FRefusal;
    if (!handle)
        return std::nullopt;
    // "Plugin NAME could not be loaded: why", under more than one error code.
    const std::string text = mysql_error(handle);
    const std::string prefix = "Plugin ";
    const std::size_t end = text.rfind(" could not be loaded");
    if (text.rfind(prefix, 0) != 0 || end == std::string::npos || end < prefix.size())
        return std::nullopt;
    TClientRefusal refusal = MakeRefusal(TKind::UnknownLogin);
    refusal.Login = text.substr(prefix.size(), end - prefix.size());
    return refusal;
}

} // namespace AuthPlugins
