#include "tools/host/LinkCommand.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "platform/Registry.h"
#include "platform/SteadyClock.h"
#include "platform/TextConversion.h"
#include "platform/Utf8Path.h"
#include "sdk/ExtensionKinds.h"
#include "tools/host/DrawingEditor.h"
#include "tools/host/DrawingSummary.h"
#include "tools/host/EditScript.h"
#include "tools/host/HostConsole.h"
#include "tools/host/RendererReads.h"

namespace {

using platform::Utf16FromUtf8;
using platform::Utf8FromUtf16;

constexpr std::u16string_view kStartFunction = u"TideLink_Start";
constexpr std::u16string_view kStopFunction = u"TideLink_Stop";
// Where the plug-in announces a link document once it has committed to it.
constexpr std::u16string_view kConnectionsKey = u"Software\\Brisca\\LiveConnections";
constexpr int32_t kLinkButton = 1;
constexpr int32_t kCameraButton = 2;

// The link state as the tool's mode bar shows it.
enum class ShownState { kNoTool, kReduced, kIdle, kPaused, kRunning };

const char* StateName(ShownState state) {
  switch (state) {
    case ShownState::kNoTool: return "no tool";
    case ShownState::kReduced: return "reduced";
    case ShownState::kIdle: return "idle";
    case ShownState::kPaused: return "paused";
    case ShownState::kRunning: return "running";
  }
  return "";
}

std::string FileNameOf(const std::u16string& image) {
  return Utf8FromUtf16(std::filesystem::path(image).filename().u16string());
}

std::u16string_view EndingStatusKey(LinkStop stop) {
  switch (stop) {
    case LinkStop::kButton: case LinkStop::kScript: case LinkStop::kQuit: return u"status_tl_stopped";
    case LinkStop::kClose: case LinkStop::kSaveAs: case LinkStop::kRenderer: break;
  }
  return u"status_tl_disconnected";
}

// The drawing's own file name with "-copy" before its extension: somewhere else to save it.
std::u16string OtherFileName(const std::u16string& fileName) {
  std::filesystem::path path(fileName);
  const std::u16string extension = path.extension().u16string();
  path.replace_extension();
  return path.u16string() + u"-copy" + extension;
}

// As the user wrote it: "2", "2.5".
std::string SecondsText(double seconds) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof(text), seconds);
  return std::string(text, result.ptr);
}

int64_t Nanoseconds(std::chrono::steady_clock::time_point time) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

nlohmann::json NanosecondsOrNull(const std::optional<std::chrono::steady_clock::time_point>& time) {
  return time ? nlohmann::json(Nanoseconds(*time)) : nlohmann::json(nullptr);
}

bool LinkAnnounced() {
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, kConnectionsKey, key) != 0) return false;
  uint32_t subkeys = 0, values = 0;
  return key.QueryInfoKey(&subkeys, &values) == 0 && values > 0;
}

class LinkRun {
public:
  LinkRun(StandInHost& host, const HostOptions& options, std::vector<EditStep> steps)
      : host_(host), options_(options), steps_(std::move(steps)), editor_(host.sceneStream().drawing()),
        timeout_(std::chrono::seconds(options.timeoutSeconds)) {}

  int Run() {
    if (!options_.expectedStatesPath.empty()) {
      expected_.open(platform::PathFromUtf8(options_.expectedStatesPath), std::ios::trunc);
      if (!expected_) return Fail("cannot write " + options_.expectedStatesPath);
    }
    if (!options_.editLogPath.empty()) {
      editLog_.open(platform::PathFromUtf8(options_.editLogPath), std::ios::trunc);
      if (!editLog_) return Fail("cannot write " + options_.editLogPath);
    }
    host_.SetTickPolicy(TickPolicy::kDuringDeliveries);
    host_.RegisterExtensions();
    tool_ = host_.CreateExtension(IID_ExtensionKindTool);
    if (!tool_) return Fail("the module offers no tool");
    const std::u16string toolName = static_cast<VWExtension*>(tool_)->GetUniversalName();
    host_.tools().Activate(StandInHost::ToolEventSink(tool_), toolName);
    const int result = Link();
    host_.tools().Activate(nullptr, u"");
    bool released = host_.ReleaseExtension(IID_ExtensionKindTool, tool_);
    if (functions_) released = host_.ReleaseExtension(IID_ExtensionKindScriptFunctions, functions_) && released;
    return result == 0 && released ? 0 : 1;
  }

private:
  int Link() {
    startedAt_ = platform::SteadyClock::Now();
    if (options_.viaScript) {
      if (!Functions() || !host_.RunScriptFunction(functions_, kStartFunction)) return Fail("cannot run TideLink_Start");
    } else {
      host_.tools().Press(kLinkButton, 0);
    }
    host_.tools().DeliverPostedMessages();
    if (!Open()) return Fail("the link did not start (last status \"" + LastStatus() + "\")");
    Print("started");
    if (options_.disabledServices.count("scene-change")) {
      // Nothing could ever reach the plug-in: waiting for the drawing would only wait out the timeout.
      Print("the drawing cannot be sent: this host offers no scene-change service (--without scene-change)");
      End();
      return 1;
    }
    host_.RunUntil([&] { return host_.sceneStream().IsDrawingDelivered() || !Open(); }, timeout_);
    if (QuitAsked()) return Quit();
    Settle();
    // A renderer asked to close the link may do so before the host has looked.
    if (options_.stopWith == LinkStop::kRenderer && !Open()) return End();
    if (State() != ShownState::kRunning || !LinkAnnounced()) {
      return Fail(std::string("the drawing was not mirrored (link ") + StateName(State()) + ", last status \"" +
                  LastStatus() + "\")");
    }
    // The plug-in goes on without a renderer; the claim that the drawing is mirrored must not.
    if (const std::string unread = WhyNoRendererRead(); !unread.empty()) return Fail(unread);
    Print("the drawing is mirrored");
    WriteExpected(nullptr, options_.viewReport);
    host_.mainLoop().SetSteadySchedule(options_.paced);
    for (const EditStep& step : steps_) {
      if (QuitAsked() || !Play(step)) break;
    }
    if (options_.linkSeconds > 0 && Open() && !QuitAsked()) {
      Print("running for " + SecondsText(options_.linkSeconds) + " s");
      host_.RunUntil([&] { return !Open(); },
                     std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::duration<double>(options_.linkSeconds)));
    }
    WriteEditLog();
    return QuitAsked() ? Quit() : End();
  }

  // Plays one step; false when the application quit and nothing more can be played.
  bool Play(const EditStep& step) {
    HostConsole::PrintLine("edit line " + std::to_string(step.line) + ": " + step.text);
    std::string problem;
    bool viewSent = false;
    if (DrawingEditor::ChangesDrawing(step.kind)) {
      DrawingChange change;
      // The other open drawings hold nothing to edit.
      if (!host_.documents().IsFirstActive()) {
        problem = "the active drawing is not the one of the model; nothing to edit";
      } else if (editor_.Apply(step, change, problem)) {
        viewSent = change.viewReported && Open();
        Send(step, change);
      }
    } else if (!Act(step, problem)) {
      return false;
    }
    if (!problem.empty()) HostConsole::PrintLine("edit line " + std::to_string(step.line) + ": " + problem);
    if (!options_.paced) Settle();
    WriteExpected(&step, viewSent);
    return true;
  }

  void Send(const EditStep& step, const DrawingChange& change) {
    host_.sceneStream().SetDrawing(editor_.drawing());
    if (!host_.sceneStream().SendChange(std::make_shared<const DrawingOperations>(editor_.drawing(), change))) return;
    sentSteps_.push_back(&step);
    if (options_.paced) return;
    host_.RunUntil([&] { return host_.sceneStream().IsDrawingDelivered() || !Open(); }, timeout_);
  }

  // The steps that are not edits of the drawing; false for quit, after which nothing is played.
  bool Act(const EditStep& step, std::string& problem) {
    switch (step.kind) {
      case EditKind::kLayer: host_.ActivateSheetLayer(step.names[0] == "sheet"); break;
      case EditKind::kProjection: host_.layers().SetActiveProjection(int16_t(step.numbers[0])); break;
      case EditKind::kSwitch:
        if (step.names[0] == "back") {
          if (!host_.documents().ActivatePrevious()) problem = "no drawing to go back to";
        } else {
          host_.documents().Activate(Utf16FromUtf8(step.names[0]));
        }
        // A host sets up the active tool afresh for the drawing that became active.
        host_.tools().BuildModeBar();
        break;
      case EditKind::kSave: {
        const std::optional<std::u16string> name = host_.documents().ActiveFileName();
        if (!name || name->empty()) {
          problem = "the active drawing has no file to save to";
        } else {
          host_.documents().SaveActive(*name);
        }
        break;
      }
      case EditKind::kSaveAs: host_.documents().SaveActive(Utf16FromUtf8(step.names[0])); break;
      case EditKind::kClose:
        if (!host_.documents().CloseActive()) problem = "no drawing is open";
        host_.tools().BuildModeBar();
        break;
      case EditKind::kButton:
        host_.tools().Press(int32_t(step.numbers[0]), step.numbers.size() > 1 ? int32_t(step.numbers[1]) : 0);
        break;
      case EditKind::kScript:
        if (!Functions() || !host_.RunScriptFunction(functions_, Utf16FromUtf8(step.names[0]))) {
          problem = "no script function " + step.names[0];
        }
        break;
      case EditKind::kClick: Click(int32_t(step.numbers[0]), problem); break;
      case EditKind::kQuit:
        host_.PostNotification(kQuitCode, 0);
        Print("the application quits; the rest of the script is not played");
        return false;
      case EditKind::kWait:
        host_.RunUntil([] { return false; }, std::chrono::milliseconds(int64_t(step.numbers[0] * 1000)));
        break;
      default: break;
    }
    return true;
  }

  void Click(int32_t item, std::string& problem) {
    const std::vector<ViewPaneLabelService::Label> labels = host_.labels().labels();
    if (labels.empty()) {
      problem = "no label is shown";
    } else {
      host_.labels().Click(labels.front().pane, item);
    }
  }

  bool QuitAsked() { return host_.mainLoop().AnswerQuitRequest(); }

  // The system asked the application to quit; the plug-in has been told as a quitting host tells it.
  int Quit() {
    if (Open()) return Fail("the application quits, but the link did not end");
    Print("the application quits; the link ended with \"" + LastStatus() + "\"");
    return 0;
  }

  int End() {
    const std::string expected = Utf8FromUtf16(host_.ResourceText(u"TideLinkTool", EndingStatusKey(options_.stopWith)));
    if (Open()) Stop();
    host_.tools().DeliverPostedMessages();
    if (Open()) return Fail("the link did not end");
    const std::string last = LastStatus();
    if (last != expected) return Fail("the link ended with \"" + last + "\", not \"" + expected + "\"");
    Print("ended with \"" + last + "\"");
    return 0;
  }

  void Stop() {
    switch (options_.stopWith) {
      case LinkStop::kButton: {
        const ShownState state = State();
        if (state == ShownState::kRunning || state == ShownState::kPaused) {
          host_.tools().Press(kLinkButton, state == ShownState::kPaused ? 1 : 0);
        } else {
          Print(std::string("the tool shows the link ") + StateName(state) + "; its button cannot stop it");
        }
        break;
      }
      case LinkStop::kScript:
        if (Functions()) host_.RunScriptFunction(functions_, kStopFunction);
        break;
      case LinkStop::kClose: host_.documents().CloseActive(); break;
      case LinkStop::kSaveAs:
        host_.documents().SaveActive(OtherFileName(host_.documents().ActiveFileName().value_or(u"drawing")));
        break;
      case LinkStop::kQuit: host_.PostNotification(kQuitCode, 0); break;
      case LinkStop::kRenderer:
        Print("waiting for the renderer to close the link");
        host_.RunUntil([&] { return !Open(); }, timeout_);
        break;
    }
  }

  // Hands posted tool messages to the tool, ticks once (which commits what the step sent) and
  // hands over what that tick posted.
  void Settle() {
    host_.tools().DeliverPostedMessages();
    host_.Tick();
    host_.tools().DeliverPostedMessages();
  }

  bool Open() { return host_.IsNotificationRegistered(kAfterEventCode); }

  // Empty once a renderer has read the drawing as committed now, or is reading it (holds the
  // document's lock); otherwise why none did. Waits while a renderer runs that may still read it.
  std::string WhyNoRendererRead() {
    const std::optional<LinkReads> drawn = OwnLinkReads();
    if (!drawn) return "the link document cannot be found";
    bool read = false;
    host_.RunUntil([&] {
      const std::optional<LinkReads> now = OwnLinkReads();
      read = now && (now->read >= drawn->committed || now->readerHoldsLock);
      return read || !Open() || !RendererRunning();
    }, timeout_);
    // A link the renderer closed meanwhile was read by it; how it ended is judged at the end.
    if (read || !Open()) return "";
    std::string why = RendererRunning() ? "no renderer read the drawing within the time-out"
                                        : "no renderer read the drawing: none is running";
    if (const std::optional<std::string> log = RendererLaunchLog()) {
      why += "; the renderer that the plug-in started says why in " + *log;
    }
    return why;
  }

  IVWUnknown* Functions() {
    if (!functions_) functions_ = host_.CreateExtension(IID_ExtensionKindScriptFunctions);
    return functions_;
  }

  ShownState State() {
    const std::vector<ModeBarButton> bar = host_.tools().modeBar();
    if (bar.size() <= size_t(kLinkButton) || bar[kLinkButton].images.empty()) return ShownState::kNoTool;
    const ModeBarButton& button = bar[kLinkButton];
    const std::string image = FileNameOf(button.images[0]);
    if (image == "version.png") return ShownState::kReduced;
    if (image == "start.png") return ShownState::kIdle;
    return button.images.size() > 1 ? ShownState::kPaused : ShownState::kRunning;
  }

  // Whether the camera button offers to switch synchronisation (the camera is available), and
  // whether it is on.
  nlohmann::json CameraShown() {
    const std::vector<ModeBarButton> bar = host_.tools().modeBar();
    bool available = false, sync = false;
    if (bar.size() > size_t(kCameraButton) && !bar[kCameraButton].images.empty() && !bar[kCameraButton].tips.empty()) {
      const std::u16string& tip = bar[kCameraButton].tips[0];
      available = tip == host_.ResourceText(u"TideLinkTool", u"tool_camera_start") ||
                  tip == host_.ResourceText(u"TideLinkTool", u"tool_camera_stop");
      sync = available && FileNameOf(bar[kCameraButton].images[0]) == "camera_stop.png";
    }
    return {{"available", available}, {"sync", sync}};
  }

  std::string LastStatus() {
    const std::vector<StatusRecord> messages = host_.statusMessages().messages();
    return messages.empty() ? std::string() : Utf8FromUtf16(messages.back().text);
  }

  void WriteExpected(const EditStep* step, bool viewSent) {
    if (!expected_.is_open()) return;
    const Drawing& drawing = *editor_.drawing();
    const VGS::CameraReport& view = drawing.view;
    nlohmann::json line{{"line", step ? step->line : 0},
                        {"edit", step ? step->text : std::string("(the drawing)")},
                        {"link", Open() ? StateName(State()) : "ended"},
                        {"camera", CameraShown()},
                        {"materials", SummariseDrawing(drawing)}};
    line["view"] = viewSent ? nlohmann::json{view.eye[0],       view.eye[1],       view.eye[2], view.direction[0],
                                             view.direction[1], view.direction[2], view.up[0],  view.up[1],
                                             view.up[2],        view.unused,       view.extent, view.focalDistance}
                            : nlohmann::json(nullptr);
    expected_ << line.dump() << '\n' << std::flush;
  }

  // What the host did, from its own clock: the start, the drawing sent, each edit handed over
  // (in the order sent; the stream numbers changes from the first one this run sent).
  void WriteEditLog() {
    if (!editLog_.is_open()) return;
    const auto tick = host_.mainLoop().tickInterval();
    editLog_ << nlohmann::json{{"event", "start"}, {"at_ns", Nanoseconds(startedAt_)}, {"tick_ms", tick.count()}}.dump()
             << '\n';
    editLog_ << nlohmann::json{{"event", "drawing sent"}, {"at_ns", NanosecondsOrNull(host_.sceneStream().DrawingSentAt())}}
                    .dump()
             << '\n';
    const auto handed = host_.sceneStream().ChangesHandedAt();
    for (size_t index = 0; index < sentSteps_.size(); ++index) {
      const EditStep& step = *sentSteps_[index];
      editLog_ << nlohmann::json{{"event", "edit"},
                                 {"line", step.line},
                                 {"edit", step.text},
                                 {"handed_ns", NanosecondsOrNull(index < handed.size() ? handed[index] : std::nullopt)}}
                      .dump()
               << '\n';
    }
    editLog_ << std::flush;
  }

  int Fail(const std::string& reason) {
    Print("failed: " + reason);
    return 1;
  }

  void Print(const std::string& text) { HostConsole::PrintLine("link: " + text); }

  StandInHost& host_;
  const HostOptions& options_;
  const std::vector<EditStep> steps_;
  DrawingEditor editor_;
  const std::chrono::milliseconds timeout_;
  std::ofstream expected_;
  std::ofstream editLog_;
  std::chrono::steady_clock::time_point startedAt_{};
  std::vector<const EditStep*> sentSteps_;  // the steps whose change was queued, in that order
  IVWUnknown* tool_ = nullptr;
  IVWUnknown* functions_ = nullptr;
};

// The edit script's steps; nothing, with the reason printed, when it cannot be used.
std::optional<std::vector<EditStep>> ReadEdits(const std::string& path) {
  if (path.empty()) return std::vector<EditStep>{};
  std::ifstream file(platform::PathFromUtf8(path));
  if (!file) {
    HostConsole::PrintLine("link: cannot read the edit script " + path);
    return std::nullopt;
  }
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::string error;
  std::optional<std::vector<EditStep>> steps = ParseEditScript(text, error);
  if (!steps) HostConsole::PrintLine("link: the edit script " + path + " cannot be played, " + error);
  return steps;
}

}  // namespace

int RunLinkCommand(StandInHost& host, const HostOptions& options) {
  std::optional<std::vector<EditStep>> steps = ReadEdits(options.editsPath);
  if (!steps) return 2;
  return LinkRun(host, options, std::move(*steps)).Run();
}
