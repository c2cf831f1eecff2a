#include "support/Road.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace roadtest {

LibraryServer::LibraryServer() : server_(std::make_unique<httplib::Server>()) {
    server_->Post("/Tools/Analysis/Analysis.asp",
                  [this](const httplib::Request& request, httplib::Response& response) {
                      const std::string source = request.get_param_value("Source");
                      std::string reply;
                      {
                          std::lock_guard lock(mutex_);
                          requests_.push_back(source);
                          if (auto found = replies_.find(source); found != replies_.end())
                              reply = found->second;
                      }
                      response.set_content(reply, "text/plain");
                  });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        throw std::runtime_error("cannot bind a library server on 127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
}

LibraryServer::~LibraryServer() {
    server_->stop();
    thread_.join();
}

std::string LibraryServer::Host() const {
    return "127.0.0.1:" + std::to_string(port_);
}

void LibraryServer::SetReply(const std::string& source, const std::string& reply) {
    std::lock_guard lock(mutex_);
    replies_[source] = reply;
}

std::vector<std::string> LibraryServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::string ClosedHost() {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (socket < 0 || ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot find a free loopback port");
    ::close(socket); // never listened on: connections to it are refused
    return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

namespace {
// A REGEDIT4 string: backslashes and quotes escaped.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            quoted.push_back('\\');
        quoted.push_back(c);
    }
    return quoted + "\"";
}
} // namespace

std::string RegistryFileText(const RegistrySettings& settings) {
    const std::string root = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brindlemar\\Brindlemar";
    std::string text = "REGEDIT4\r\n\r\n" + root + "\\Utilities\\Log Analysis]\r\n";
    if (!settings.libraryServer.empty())
        text += "\"Library Server\"=" + Quoted(settings.libraryServer) + "\r\n";
    if (settings.debugStatus) {
        char dword[16];
        std::snprintf(dword, sizeof dword, "%08x", static_cast<unsigned>(*settings.debugStatus));
        text += std::string("\"Debug Status\"=dword:") + dword + "\r\n";
    }
    std::map<std::string, std::string> keys;
    for (const auto& [key, directory] : settings.debugDirectories)
        keys[key] += "\"Debug Log File Directory\"=" + Quoted(directory) + "\r\n";
    for (const auto& [key, directory] : settings.activityDirectories)
        keys[key] += "\"Activity Log Directory\"=" + Quoted(directory) + "\r\n";
    for (const auto& [key, values] : keys)
        text += "\r\n" + root + "\\" + key + "]\r\n" + values;
    return text;
}

void WriteRecordingOpener(const std::string& script, const std::string& record) {
    testing_support::WriteBytes(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + record +
                                            "'; done\nexit 0\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
}

void RoadFixture::SetUp() {
    namespace fs = std::filesystem;
    for (const char* sub : {"program", "smtp-debug", "smtp-activity", "pop-debug"})
        fs::create_directory(dir_.Path() / sub);
    programDir_ = dir_.File("program");
    smtpDebug_ = dir_.File("smtp-debug");
    smtpActivity_ = dir_.File("smtp-activity");
    popDebug_ = dir_.File("pop-debug");
    registryPath_ = dir_.File("registry.reg");
    settings_.libraryServer = server_.Host();
    settings_.debugDirectories = {{"Connectors\\SMTP", smtpDebug_}, {"Services\\POP", popDebug_}};
    settings_.activityDirectories = {{"Connectors\\SMTP", smtpActivity_}};
    WriteRegistry();
    registryEnv_ = std::make_unique<testing_support::ScopedEnv>("BRINDLEMAR_REGISTRY", registryPath_);
    WriteRecordingOpener(dir_.File("opener.sh"), dir_.File("opened.txt"));
    openerEnv_ = std::make_unique<testing_support::ScopedEnv>("BRINDLEMAR_OPENER", dir_.File("opener.sh"));
    noProxy_ = std::make_unique<testing_support::ScopedEnv>("no_proxy", "*");

    server_.SetReply("SMTP", kSmtpCatalogue);
    server_.SetReply("POP", kPopCatalogue);
    testing_support::WriteBytes(smtpDebug_ + "/" + kSmtpLog, kSmtpDebugLog);
    testing_support::WriteBytes(smtpDebug_ + "/SMTP-Debug-20260711.log", "nothing to see\r\n");
    testing_support::WriteBytes(smtpActivity_ + "/SMTP-Activity-20260712.log", kSmtpActivityLog);
    testing_support::WriteBytes(popDebug_ + "/POP-Debug-20260712.log", "USER alice\r\nPASS\r\n");
}

void RoadFixture::BreakOpener() {
    // The old setting is undone first, so that its restore cannot undo the new one.
    openerEnv_.reset();
    openerEnv_ =
        std::make_unique<testing_support::ScopedEnv>("BRINDLEMAR_OPENER", dir_.File("no-such-opener"));
}

} // namespace roadtest
