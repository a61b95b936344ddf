#include "app/options/server_address.h"

#include <cctype>
#include <cstring>
#include <map>

namespace dwlcli {

namespace {

// The keywords of a libpq connection string; any other makes the text no connection string.
const char* const a_ConnKeywords[] = {"application_name",
                                      "channel_binding",
                                      "client_encoding",
                                      "connect_timeout",
                                      "dbname",
                                      "fallback_application_name",
                                      "gssdelegation",
                                      "gssencmode",
                                      "gsslib",
                                      "host",
                                      "hostaddr",
                                      "keepalives",
                                      "keepalives_count",
                                      "keepalives_idle",
                                      "keepalives_interval",
                                      "krbsrvname",
                                      "load_balance_hosts",
                                      "options",
                                      "passfile",
                                      "password",
                                      "port",
                                      "replication",
                                      "require_auth",
                                      "requirepeer",
                                      "service",
                                      "ssl_max_protocol_version",
                                      "ssl_min_protocol_version",
                                      "sslcert",
                                      "sslcertmode",
                                      "sslcompression",
                                      "sslcrl",
                                      "sslcrldir",
                                      "sslkey",
                                      "sslmode",
                                      "sslpassword",
                                      "sslrootcert",
                                      "sslsni",
                                      "target_session_attrs",
                                      "tcp_user_timeout",
                                      "user"};

bool knownKeyword(const std::string& word) {
    for (const char* k : a_ConnKeywords)
        if (word == k) return true;
    return false;
}

bool isUri(const std::string& text) {
    return text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
}

// "keyword = value ..." as libpq reads it: a value is quoted ('...', with \' and \\) or runs
// to the next blank, a backslash taking the next character as it is. False when the text is
// not one, or names a keyword libpq has not.
bool parseKeywords(const std::string& text, std::map<std::string, std::string>* out) {
    size_t i = 0;
    const size_t n = text.size();
    auto blanks = [&] {
        while (i < n && isspace(static_cast<unsigned char>(text[i])))
            i++;
    };
    bool any = false;
    for (;;) {
        blanks();
        if (i == n) return any;
        std::string key;
        while (i < n && text[i] != '=' && !isspace(static_cast<unsigned char>(text[i])))
            key += text[i++];
        blanks();
        if (i == n || text[i] != '=' || key.empty() || !knownKeyword(key)) return false;
        i++;
        blanks();
        std::string value;
        if (i < n && text[i] == '\'') {
            i++;
            for (;;) {
                if (i == n) return false; // unterminated quote
                if (text[i] == '\'') {
                    i++;
                    break;
                }
                if (text[i] == '\\' && i + 1 < n) i++;
                value += text[i++];
            }
        } else {
            while (i < n && !isspace(static_cast<unsigned char>(text[i]))) {
                if (text[i] == '\\' && i + 1 < n) i++;
                value += text[i++];
            }
        }
        (*out)[key] = value;
        any = true;
    }
}

std::string percentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '%' && i + 2 < text.size() &&
            isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// postgresql://[user[:password]@][host][:port][/dbname][?keyword=value&...]
void parseUri(const std::string& text, std::map<std::string, std::string>* out) {
    std::string rest = text.substr(text.find("://") + 3);
    std::string query;
    if (size_t q = rest.find('?'); q != std::string::npos) {
        query = rest.substr(q + 1);
        rest.resize(q);
    }
    std::string authority = rest;
    if (size_t slash = rest.find('/'); slash != std::string::npos) {
        authority = rest.substr(0, slash);
        (*out)["dbname"] = percentDecoded(rest.substr(slash + 1));
    }
    if (size_t at = authority.rfind('@'); at != std::string::npos) {
        const std::string userInfo = authority.substr(0, at);
        (*out)["user"] = percentDecoded(userInfo.substr(0, userInfo.find(':')));
        authority = authority.substr(at + 1);
    }
    std::string host = authority, port;
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        host = authority.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        if (close != std::string::npos && close + 1 < authority.size() &&
            authority[close + 1] == ':')
            port = authority.substr(close + 2);
    } else if (size_t colon = authority.rfind(':'); colon != std::string::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    (*out)["host"] = percentDecoded(host);
    (*out)["port"] = port;
    size_t start = 0;
    while (start < query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string::npos) end = query.size();
        const std::string pair = query.substr(start, end - start);
        if (size_t eq = pair.find('='); eq != std::string::npos)
            (*out)[pair.substr(0, eq)] = percentDecoded(pair.substr(eq + 1));
        start = end + 1;
    }
}

} // namespace

bool isServerAddress(const std::string& text) {
    if (isUri(text)) return true;
    if (text.find('=') == std::string::npos) return false;
    std::map<std::string, std::string> keywords;
    return parseKeywords(text, &keywords);
}

std::string serverDisplayName(const std::string& address) {
    std::map<std::string, std::string> k;
    if (isUri(address))
        parseUri(address, &k);
    else if (!parseKeywords(address, &k))
        return "the results server";
    const std::string user = k["user"], port = k["port"], db = k["dbname"];
    const std::string host = !k["host"].empty() ? k["host"] : k["hostaddr"];
    return "postgresql://" + (user.empty() ? "" : user + "@") + host +
           (port.empty() ? "" : ":" + port) + "/" + db;
}

bool serverForwardingInBuild() {
#ifdef DWL_NO_RESULTS_SERVER
    return false;
#else
    return true;
#endif
}

std::string serverForwardingMissing() {
    return "forwarding runs to a PostgreSQL server is not in the Windows build of dwl: record "
           "them in an SQLite file (--results FILE) and collect the files on a Linux machine "
           "(dwl results)";
}

} // namespace dwlcli
