#include "tools/renderer/RendererSession.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <system_error>

#include "platform/Registry.h"
#include "platform/SteadyClock.h"
#include "platform/TextConversion.h"
#include "platform/Utf8Path.h"
#include "tools/renderer/SceneJson.h"
#include "tools/renderer/SceneSnapshot.h"
#include "transport/WireFormat.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::u16string_view kConnectionsKey = u"Software\\Brisca\\LiveConnections";
// Documents are also looked for on a timer, so that a link opened before the renderer's window
// existed is found even when no message reaches it.
constexpr auto kPollInterval = std::chrono::seconds(1);
constexpr uint32_t kSnapshotWidth = 640;
constexpr uint32_t kSnapshotHeight = 480;

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// The document names the plug-in announces: REG_DWORD values of the connection key. Nothing when
// the registry cannot be read just now (busy or damaged), which says nothing about any link.
std::optional<std::vector<std::u16string>> AnnouncedDocuments() {
  std::vector<std::u16string> names;
  platform::RegistryKey key;
  const int32_t opened = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, kConnectionsKey, key);
  if (opened == platform::kErrorFileNotFound) return names;
  if (opened != platform::kErrorSuccess) return std::nullopt;
  char16_t name[260];
  uint32_t nameLength = 260, type = 0, data = 0, size = sizeof(data);
  for (uint32_t index = 0;; ++index, nameLength = 260, size = sizeof(data)) {
    const int32_t result = key.EnumValue(index, name, &nameLength, &type, &data, &size);
    if (result == platform::kErrorNoMoreItems) break;
    if (result == platform::kErrorMoreData) continue;  // not one of the plug-in's values
    if (result != platform::kErrorSuccess) return std::nullopt;
    if (type == platform::kRegistryDword && size == sizeof(data)) names.emplace_back(name, nameLength);
  }
  return names;
}

std::string Quoted(std::u16string_view text) {
  std::string quoted(1, '"');
  quoted += platform::Utf8FromUtf16(text);
  quoted += '"';
  return quoted;
}

std::string Describe(const MirroredScene& scene) {
  size_t triangles = 0, textures = 0;
  for (const MirroredSurface& surface : scene.surfaces) {
    triangles += surface.triangleCount();
    for (const MirroredTexture& texture : surface.textures) textures += texture.empty() ? 0 : 1;
  }
  std::string line = Quoted(scene.documentName);
  char counts[160];
  std::snprintf(counts, sizeof(counts), " version %u: %zu surfaces, %zu triangles, %zu textures, %zu removed",
                scene.headerVersion, scene.surfaces.size(), triangles, textures, scene.removedSurfaceIds.size());
  line += counts;
  if (scene.camera.enabled) {
    char camera[128];
    std::snprintf(camera, sizeof(camera), ", camera at (%.2f, %.2f, %.2f) fov %.1f", scene.camera.matrix[12],
                  scene.camera.matrix[13], scene.camera.matrix[14], scene.camera.fieldOfView);
    line += camera;
  } else {
    line += ", no camera";
  }
  return line;
}

std::string DescribeSurface(const MirroredSurface& surface) {
  std::string line = "  surface ";
  line += std::to_string(surface.recordId);
  line += ' ';
  line += Quoted(surface.name);
  char details[96];
  std::snprintf(details, sizeof(details), " type %u colour #%08X, %zu triangles", surface.surfaceType, surface.color,
                surface.triangleCount());
  line += details;
  for (const MirroredTexture& texture : surface.textures) {
    if (!texture.path.empty()) {
      line += ", texture file ";
      line += platform::Utf8FromUtf16(texture.path);
    } else if (texture.segment) {
      std::snprintf(details, sizeof(details), ", texture %ux%u", texture.width, texture.height);
      line += details;
    }
  }
  return line;
}

// Written beside the target and renamed, so a reader never sees half a file. When it cannot be
// written nothing of it is left and `problem` gives the system's reason.
bool WriteWhole(const std::string& path, const std::string& content, std::string& problem) {
  std::filesystem::path temporary = platform::PathFromUtf8(path);
  temporary += ".partial";
  std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
  if (file) {
    file << content;
    file.close();
  }
  const int error = errno;
  std::error_code renamed;
  if (file) std::filesystem::rename(temporary, platform::PathFromUtf8(path), renamed);
  if (!file || renamed) {
    problem = file ? renamed.message() : std::generic_category().message(error);
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  return true;
}

}  // namespace

int RendererSession::Run(const std::atomic<bool>& stop) {
  platform::WindowAttributes attributes;
  attributes.className = platform::Utf16FromUtf8(options_.windowClass);
  attributes.title = platform::Utf16FromUtf8(options_.title);
  attributes.visible = true;
  if (!platform::MessageWindow::Create(attributes, window_)) {
    std::fprintf(stderr, "Ombrel.exe: cannot open a message window (check the runtime folder)\n");
    return 1;
  }
  Say("Ombrel stand-in \"" + options_.title + "\" (class " + options_.windowClass + ") is waiting for TideLink");
  if (!options_.documentPath.empty()) Say("asked to open document " + options_.documentPath);
  if (options_.linkReference) Say("started for TideLink, ss " + std::to_string(options_.ssNumber.value_or(0)));
  if (!options_.dumpPath.empty()) Say("keeping the scene summary in " + options_.dumpPath);
  if (!options_.snapshotPath.empty()) Say("keeping the scene picture in " + options_.snapshotPath);

  const auto end = options_.seconds ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                         std::chrono::duration<double>(*options_.seconds))
                                    : Clock::time_point::max();
  auto nextPoll = Clock::now();
  while (!stop && Clock::now() < end) {
    const auto wait = std::min({end, nextPoll}) - Clock::now();
    const auto message = window_.Receive(std::chrono::duration_cast<std::chrono::milliseconds>(
        std::max(wait, Clock::duration::zero()) + std::chrono::milliseconds(1)));
    // Closing the window ends the renderer as a signal does.
    if (message && message->message == platform::kCloseMessage) break;
    const bool notified = message && message->message == wire::kUpdateMessage;
    messageAt_ = notified ? std::optional(platform::SteadyClock::Now()) : std::nullopt;
    if (notified || Clock::now() >= nextPoll) {
      RefreshLinks(notified);
      nextPoll = Clock::now() + kPollInterval;
    }
  }
  Say("Ombrel stand-in stops after " + std::to_string(updates_) + " updates");
  return 0;
}

void RendererSession::DropClosedLinks(const std::optional<std::vector<std::u16string>>& announced) {
  for (auto entry = links_.begin(); entry != links_.end();) {
    // The plug-in withdraws its announcement when it closes the document. One that ended without
    // closing has the mapping no more; letting go of it too lets a new link of the name be found.
    const bool withdrawn = announced && std::find(announced->begin(), announced->end(), entry->first) == announced->end();
    if (!entry->second->reader.HeaderVersion() || withdrawn || !entry->second->reader.IsOwnerAlive()) {
      // Let go of the memory before saying so: whoever reads the line may reuse the name at once.
      const std::string line = "TideLink document " + Quoted(entry->first) + " was closed";
      entry = links_.erase(entry);
      Say(line);
    } else {
      ++entry;
    }
  }
}

void RendererSession::OpenNewLinks(const std::vector<std::u16string>& announced) {
  for (const std::u16string& name : announced) {
    if (links_.count(name)) continue;
    auto link = std::make_unique<Link>();
    std::string problem;
    if (!link->reader.Open(name, problem)) continue;  // a stale announcement: its plug-in prunes it
    Say("found TideLink document " + Quoted(name));
    ChooseOutputs(*link);
    if (link->slot > 1 && !link->dumpPath.empty()) Say("keeping its scene summary in " + link->dumpPath);
    if (link->slot > 1 && !link->snapshotPath.empty()) Say("keeping its scene picture in " + link->snapshotPath);
    links_.emplace(name, std::move(link));
  }
}

void RendererSession::ChooseOutputs(Link& link) const {
  std::set<int> taken;
  for (const auto& [name, open] : links_) taken.insert(open->slot);
  while (taken.count(link.slot)) ++link.slot;
  const auto numbered = [&](const std::string& path) {
    if (path.empty() || link.slot == 1) return path;
    const std::filesystem::path file = platform::PathFromUtf8(path);
    std::filesystem::path name = file.stem();
    name += "-";
    name += std::to_string(link.slot);
    name += file.extension();
    return platform::Utf8FromPath(file.parent_path() / name);
  };
  link.dumpPath = numbered(options_.dumpPath);
  link.snapshotPath = numbered(options_.snapshotPath);
}

void RendererSession::RefreshLinks(bool notified) {
  const std::optional<std::vector<std::u16string>> announced = AnnouncedDocuments();
  // Closed links go first, so that a link opened again under the same name is read in this round.
  DropClosedLinks(announced);
  if (announced) OpenNewLinks(*announced);
  for (auto& [name, link] : links_) {
    const std::optional<uint32_t> version = link->reader.HeaderVersion();
    if (version && (notified || *version != link->lastVersion)) ReadLink(*link);
  }
}

void RendererSession::ReadLink(Link& link) {
  MirroredScene scene;
  if (!link.reader.Read(scene)) return;  // the plug-in is committing; the next message comes soon
  link.lastVersion = scene.headerVersion;
  ++updates_;
  if (!options_.readLogPath.empty()) LogRead(scene, link.reader.lastRead());
  Say("update " + std::to_string(updates_) + ": " + Describe(scene));
  if (!options_.quiet) {
    for (const MirroredSurface& surface : scene.surfaces) Say(DescribeSurface(surface));
  }
  for (const std::string& problem : scene.problems) Say("  rejected: " + problem);
  Publish(link, scene);
  if (options_.closeAfter && updates_ >= *options_.closeAfter && !scene.closedByRenderer) {
    link.reader.CloseLink();
    Say("closing the link " + Quoted(scene.documentName));
  }
}

void RendererSession::LogRead(const MirroredScene& scene, const LinkReader::ReadTimes& times) {
  const auto nanoseconds = [](Clock::time_point time) {
    return std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count());
  };
  size_t triangles = 0;
  for (const MirroredSurface& surface : scene.surfaces) triangles += surface.triangleCount();
  std::string line = "{\"version\":" + std::to_string(scene.headerVersion) +
                     ",\"message_ns\":" + (messageAt_ ? nanoseconds(*messageAt_) : std::string("null")) +
                     ",\"locked_ns\":" + nanoseconds(times.locked) + ",\"unlocked_ns\":" + nanoseconds(times.unlocked) +
                     ",\"read_ns\":" + nanoseconds(times.done) + ",\"copied_bytes\":" + std::to_string(times.copiedBytes) +
                     ",\"mesh_bytes\":" + std::to_string(times.meshBytes) + ",\"surfaces\":" +
                     std::to_string(scene.surfaces.size()) + ",\"triangles\":" + std::to_string(triangles) + "}\n";
  std::ofstream log(platform::PathFromUtf8(options_.readLogPath), std::ios::binary | std::ios::app);
  if (!(log << line << std::flush)) Say("cannot write " + options_.readLogPath);
}

void RendererSession::Publish(Link& link, const MirroredScene& scene) {
  std::string summary = SceneToJson(scene);
  if (summary == link.lastSummary) return;
  std::string problem;
  if (!link.dumpPath.empty() && !WriteWhole(link.dumpPath, summary, problem)) {
    Say("cannot write " + link.dumpPath + ": " + problem);
  }
  if (!options_.historyPath.empty()) {
    std::ofstream history(platform::PathFromUtf8(options_.historyPath), std::ios::binary | std::ios::app);
    if (!(history << summary << std::flush)) {
      Say("cannot write " + options_.historyPath + ": " + std::generic_category().message(errno));
    }
  }
  if (!link.snapshotPath.empty()) {
    // The image unit writes beside the file and renames, so a reader never sees half a picture.
    errno = 0;
    if (!SaveSnapshotPng(RenderSnapshot(scene, kSnapshotWidth, kSnapshotHeight), link.snapshotPath)) {
      Say("cannot write " + link.snapshotPath + ": " + std::generic_category().message(errno ? errno : EIO));
    }
  }
  link.lastSummary = std::move(summary);
}
