#include "app/results/server_error_line.h"

#include <cstring>

namespace dwlcli {

namespace {

const char kPrefix[] = "results server: ";

// The text between the first `open` after `from` and the next `close`; empty when absent.
std::string between(const std::string& text, size_t from, const char* open, const char* close) {
    if (from == std::string::npos) return "";
    const size_t start = text.find(open, from);
    if (start == std::string::npos) return "";
    const size_t begin = start + strlen(open);
    const size_t end = text.find(close, begin);
    return end == std::string::npos ? "" : text.substr(begin, end - begin);
}

// The message's first line, without trailing blanks and without libpq's "ERROR:  " mark.
std::string firstLine(const std::string& message) {
    std::string line = message.substr(0, message.find('\n'));
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r'))
        line.pop_back();
    for (const char* mark : {"ERROR:  ", "FATAL:  "})
        if (line.rfind(mark, 0) == 0) line.erase(0, strlen(mark));
    return line.empty() ? "no reason given" : line;
}

// Where the failed attempt went: "H:P" for a host, the socket's path for a local socket.
std::string target(const std::string& message) {
    const size_t at = message.find("connection to server at \"");
    if (at != std::string::npos) {
        const std::string host = between(message, at, "at \"", "\"");
        const std::string port = between(message, at, "port ", " ");
        return port.empty() ? host : host + ":" + port;
    }
    const size_t socket = message.find("connection to server on socket \"");
    return socket == std::string::npos ? "" : between(message, socket, "socket \"", "\"");
}

bool has(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

} // namespace

std::string connectionErrorLine(const std::string& message, const std::string& user) {
    const std::string p = kPrefix;
    std::string name =
        between(message, message.find("password authentication failed for user"), "user \"", "\"");
    if (!name.empty()) return p + "wrong password for user " + name;
    if (has(message, "no password supplied"))
        return p + "no password for user " + user + " (give it in ~/.pgpass or PGPASSFILE)";
    name = between(message, message.find("could not translate host name"), "name \"", "\"");
    if (!name.empty()) return p + "unknown host " + name;
    if (has(message, "Connection refused")) return p + "connection refused at " + target(message);
    if (has(message, "No such file or directory") && has(message, "on socket"))
        return p + "no server at " + target(message);
    if (has(message, "timeout expired") || has(message, "timed out"))
        return p + "unreachable (time-out) at " + target(message);
    if (has(message, "No route to host") || has(message, "Network is unreachable"))
        return p + "unreachable (no route) at " + target(message);
    name = between(message, message.find("database \""), "database \"", "\" does not exist");
    if (!name.empty()) return p + "no database " + name;
    name = between(message, message.find("role \""), "role \"", "\" does not exist");
    if (!name.empty()) return p + "no user " + name;
    if (has(message, "no pg_hba.conf entry"))
        return p + "the server does not admit this station (pg_hba.conf): " +
               firstLine(message.substr(message.find("no pg_hba.conf entry")));
    const size_t failed = message.find("failed: ");
    return p + firstLine(failed == std::string::npos ? message : message.substr(failed + 8));
}

std::string statementErrorLine(const std::string& message) {
    if (has(message, "server closed the connection") ||
        has(message, "no connection to the server") || has(message, "terminating connection") ||
        has(message, "could not receive data") || has(message, "could not send data") ||
        has(message, "connection not open"))
        return std::string(kPrefix) + "connection lost: " + firstLine(message);
    // The time-outs every statement runs under (results_server.cpp).
    if (has(message, "canceling statement due to lock timeout"))
        return std::string(kPrefix) + "stalled: another session holds a lock on the tables";
    if (has(message, "canceling statement due to statement timeout"))
        return std::string(kPrefix) + "stalled: no answer within the statement time-out";
    return kPrefix + firstLine(message);
}

} // namespace dwlcli
