// Starting a session: network.ini, the connection by its settings, the dialog of boxes, and the
// question whether to play alone. Calls the session, core's profile files and the platform's
// computer and login names.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "net/net.h"

namespace net {
namespace {

constexpr size_t kMaxName = 256;
constexpr size_t kMaxSessionsShown = 8;

std::string Cut(std::string text) {
  if (text.size() > kMaxName) text.resize(kMaxName);
  return text;
}

std::string Or(const std::string& first, const std::string& second, const char* last) {
  if (!first.empty()) return first;
  if (!second.empty()) return second;
  return last;
}

// Asks whether to search again; its default is Cancel, so an unattended run cannot retry forever.
bool RetrySearch(const BoxFunction& box) { return box("Could not find host! Retry?", {" OK ", " Cancel "}, 1) == 0; }

bool ConnectBySettings(Session* session, const NetworkSettings& settings, const BoxFunction& box) {
  auto failed = [&] {
    box("Connection failed!", {" OK "}, 0);
    return false;
  };
  if (settings.port < 0 || settings.port > 65535) return failed();
  const auto port = static_cast<uint16_t>(settings.port == 0 ? kDefaultPort : settings.port);
  const std::string player = Cut(Or(settings.playerName, platform::LoginName(), "Player"));
  std::string error;
  if (settings.mode == 0) {
    // A host opens its session at once: it has nobody to find first.
    const std::string name = Cut(Or(settings.sessionName, platform::ComputerName(), "Session"));
    if (!session->Host(name, port, player, &error)) {
      std::fprintf(stderr, "[network] %s\n", error.c_str());
      return failed();
    }
    return true;
  }
  const std::string address = settings.connection == 1 ? settings.ipAddress : "";
  for (int32_t attempt = 0; attempt < settings.timeout;) {
    std::vector<FoundSession> found;
    if (!session->Search(address, port, &found, &error)) {
      std::fprintf(stderr, "[network] %s\n", error.c_str());
      if (RetrySearch(box)) continue;
      return failed();
    }
    for (const FoundSession& candidate : found) {
      if (candidate.name != settings.sessionName) continue;
      if (session->Join(candidate, player, &error)) return true;
      std::fprintf(stderr, "[network] %s\n", error.c_str());
      return failed();
    }
    ++attempt;
  }
  return failed();
}

// The connection dialog as a chain of boxes: the connection, then the sessions found.
bool ConnectByDialog(Session* session, const BoxFunction& box) {
  if (box("Network connection|Choose a network connection:", {" Local network (UDP) ", " Cancel "}, 1) != 0) return false;
  for (;;) {
    std::vector<FoundSession> found;
    std::string error;
    if (!session->Search("", kDefaultPort, &found, &error)) {
      std::fprintf(stderr, "[network] %s\n", error.c_str());
      if (RetrySearch(box)) continue;
      return false;
    }
    if (found.size() > kMaxSessionsShown) found.resize(kMaxSessionsShown);
    std::vector<std::string> buttons;
    for (const FoundSession& s : found) buttons.push_back(" " + s.name + " ");
    const int host = static_cast<int>(buttons.size());
    buttons.insert(buttons.end(), {" Host ", " Refresh ", " Cancel "});
    const std::string text = found.empty() ? "Network connection|No sessions found." : "Network connection|Sessions found:";
    const int chosen = box(text, buttons, host + 2);
    if (chosen == host) {
      const std::string name = Cut(Or(platform::ComputerName(), "", "Session"));
      if (session->Host(name, kDefaultPort, "unknown", &error)) return true;
      std::fprintf(stderr, "[network] %s\n", error.c_str());
      box("Could not host session!", {" OK "}, 0);
    } else if (chosen >= 0 && chosen < host) {
      if (session->Join(found[static_cast<size_t>(chosen)], Cut(Or(platform::LoginName(), "", "unknown")), &error)) return true;
      std::fprintf(stderr, "[network] %s\n", error.c_str());
      box("Could not join session!", {" OK "}, 0);
    } else if (chosen != host + 1) {
      return false;
    }
  }
}

}  // namespace

bool ReadNetworkSettings(const std::string& path, NetworkSettings* out) {
  core::ProfileFile file;
  if (!file.Load(path)) return false;
  constexpr const char* kSection = "Settings";
  *out = NetworkSettings{};
  out->connection = file.GetInt(kSection, "Connection", 0);
  out->mode = file.GetInt(kSection, "Mode", 0);
  out->timeout = file.GetInt(kSection, "Timeout", 0);
  out->ipAddress = Cut(file.GetString(kSection, "IPAddress").value_or(""));
  // Read wide so a port beyond 16 bits is seen as such rather than wrapped into range.
  const std::string port = file.GetString(kSection, "PortNumber").value_or("0");
  out->port = std::strtoll(port.c_str(), nullptr, 10);
  out->sessionName = Cut(file.GetString(kSection, "SessionName").value_or(""));
  out->playerName = Cut(file.GetString(kSection, "PlayerName").value_or(""));
  return true;
}

int StartNetwork(Session* session, const std::string& folder, const BoxFunction& box) {
  NetworkSettings settings;
  const bool connected = ReadNetworkSettings(folder + "network.ini", &settings) ? ConnectBySettings(session, settings, box)
                                                                                 : ConnectByDialog(session, box);
  if (connected) return 1;
  session->Stop();
  return box("Could not connect, launch anyway?", {" OK ", " Cancel "}, 0) == 0 ? 1 : 0;
}

}  // namespace net
