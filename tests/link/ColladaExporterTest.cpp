// The export command's states, each row on its own, against a recording host and a clock the test
// sets: the quiet time is checked at its boundary without waiting for it.

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "link/OmbrelPlugin.h"
#include "platform/SteadyClock.h"
#include "platform/TextConversion.h"
#include "tests/link/LinkTestHost.h"
#include "tests/support/ExportLock.h"
#include "tests/support/TestEnvironment.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kQuit = 0x41505344;

// One triangle drawn with one material by one instance.
struct OneTriangleScene {
  SceneId material{1, 0x4D41544C}, geometry{1, 0x47454F4D}, instance{1, 0x494E5354};
  VGS::AddMaterialData addMaterial{material, TXString(u"Brick")};
  VGS::HostVector3 positions[3] = {{0, 0, 0}, {1000, 0, 0}, {0, 2000, 0}};
  VGS::HostVector3 normals[3] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
  VGS::HostTriangle triangle{0, 1, 2};
  VGS::HostMesh mesh{{positions, 3}, {normals, 3}, {}, {&triangle, 1}};
  VGS::SetGeometryData setGeometry{geometry, {&mesh, 1}, 0};
  VGS::PlaceInstanceData place{instance, geometry};
  Sequence<SceneId> surfaceMaterial{&material, 1};
  VGS::SetInstanceMaterialsData materials{instance, {&surfaceMaterial, 1}};
};

class ColladaExporterTest : public TestEnvironment {
protected:
  void SetUp() override {
    SetUpHost();
    ASSERT_EQ(exporter().Start(), 1);
  }
  void SetUpHost() {
    TestEnvironment::SetUp();
    file_ = scratch() / "export.dae";
    host_ = std::make_unique<LinkTestHost>("message ok\nsave " + file_.string());
    platform::SteadyClock::Set(now_);
  }
  void TearDown() override {
    OmbrelPlugin::DestroyInstance();
    host_.reset();
    platform::SteadyClock::Reset();
    TestEnvironment::TearDown();
  }

  ColladaExporter& exporter() { return OmbrelPlugin::Instance().exporter(); }
  const ExportLock exportLock_;
  LinkTestHost& host() { return *host_; }

  void Advance(std::chrono::nanoseconds by) {
    now_ += by;
    platform::SteadyClock::Set(now_);
  }
  // A whole batch; `withInstance` false sends only the material.
  void SendBatch(bool withInstance = true) {
    host().Send(VGS::kBeginBatch);
    host().Send(VGS::kAddMaterial, &scene_.addMaterial);
    if (withInstance) {
      host().Send(VGS::kSetGeometry, &scene_.setGeometry);
      host().Send(VGS::kPlaceInstance, &scene_.place);
      host().Send(VGS::kSetInstanceMaterials, &scene_.materials);
    }
    host().Send(VGS::kEndBatch);
  }
  // Still collecting: registered for the tick, nothing written, nothing told.
  void ExpectCollecting() {
    EXPECT_TRUE(host().IsRegistered(ColladaExporter::kTickCode));
    EXPECT_FALSE(std::filesystem::exists(file_));
    EXPECT_EQ(EndMessage(), "");
  }
  // Ended: the host window enabled again, no progress window, no handler left.
  void ExpectEnded() {
    EXPECT_FALSE(host().IsRegistered(ColladaExporter::kTickCode));
    EXPECT_TRUE(host().sceneChanges.handlers.empty());
    const auto changes = host().ui->HostWindowChanges();
    ASSERT_FALSE(changes.empty());
    EXPECT_TRUE(changes.back());
  }
  // The text key of the last message box unless it is the first-export notice shown at start.
  std::string EndMessage() const {
    const std::string text = platform::Utf8FromUtf16(host_->lastMessageText());
    return text.find("material_warning") != std::string::npos ? "" : text;
  }
  static bool Says(const std::string& message, const char* key) {
    return message.find(key) != std::string::npos;
  }

  std::filesystem::path file_;
  std::unique_ptr<LinkTestHost> host_;
  OneTriangleScene scene_;
  platform::SteadyClock::time_point now_{std::chrono::hours(1000)};
};

TEST_F(ColladaExporterTest, TheFileIsWrittenOnlyOnceMoreThan5000MsHavePassedSinceTheLastBatch) {
  SendBatch();
  Advance(5000ms);
  host().Tick();
  ExpectCollecting();
  Advance(999999ns);  // 5000.999999 ms counts as 5000 whole milliseconds
  host().Tick();
  ExpectCollecting();
  SendBatch();  // a later batch starts the quiet time again
  Advance(5000ms);
  host().Tick();
  ExpectCollecting();
  Advance(1ms);
  host().Tick();
  EXPECT_TRUE(std::filesystem::exists(file_));
  EXPECT_TRUE(Says(EndMessage(), "export_complete")) << EndMessage();
  ExpectEnded();
}

TEST_F(ColladaExporterTest, AnExportThatNeverReceivedABatchKeepsCollecting) {
  host().Tick();
  Advance(24h);
  host().Tick();
  ExpectCollecting();
}

TEST_F(ColladaExporterTest, NoInstanceAfterTheQuietTimeEndsWithTheFailedMessageAndNoFile) {
  SendBatch(false);
  Advance(5001ms);
  host().Tick();
  EXPECT_FALSE(std::filesystem::exists(file_));
  EXPECT_TRUE(Says(EndMessage(), "export_failed")) << EndMessage();
  ExpectEnded();
}

// A file that cannot be written is not a view without 3D objects: the message of its own names
// the file and the system's reason.
TEST_F(ColladaExporterTest, AFileThatCannotBeWrittenEndsWithItsOwnMessageNamingFileAndReason) {
  std::filesystem::create_directory(file_);
  host().host.texts[u"dlg_msg_export_not_written"] = u"not written: %s";
  host().host.texts[u"dlg_msg_export_write_reason"] = u"(%s)";
  SendBatch();
  Advance(5001ms);
  host().Tick();
  EXPECT_TRUE(std::filesystem::is_directory(file_));
  EXPECT_EQ(EndMessage(), "not written: " + file_.string() + "\n(" + std::generic_category().message(kErrorOpeningADirectory) + ")");
  ExpectEnded();
}

TEST_F(ColladaExporterTest, TheViewReportWritesAtOnceAndTheNextTickReportsIt) {
  SendBatch();
  host().Send(VGS::kViewChanged);
  EXPECT_TRUE(std::filesystem::exists(file_));
  EXPECT_EQ(EndMessage(), "");
  host().Tick();
  EXPECT_TRUE(Says(EndMessage(), "export_complete")) << EndMessage();
  ExpectEnded();
}

TEST_F(ColladaExporterTest, EndOfStreamCancelsAtTheNextTickWithoutAFile) {
  SendBatch();
  host().Send(VGS::kEndOfStream);
  EXPECT_EQ(EndMessage(), "");
  host().Tick();
  EXPECT_FALSE(std::filesystem::exists(file_));
  EXPECT_TRUE(Says(EndMessage(), "export_canceled")) << EndMessage();
  ExpectEnded();
}

TEST_F(ColladaExporterTest, QuittingEndsWithoutAMessage) {
  SendBatch();
  host().Post(kQuit);
  EXPECT_EQ(EndMessage(), "");
  EXPECT_FALSE(std::filesystem::exists(file_));
  ExpectEnded();
}

TEST_F(ColladaExporterTest, ASecondBeginBatchDoesNotWaitForTheGateItHolds) {
  // Sent from a thread of its own, as the host's delivery thread does, so that a wait on the
  // gate shows as a batch that does not finish rather than as a hung test.
  std::atomic<bool> delivered{false};
  std::thread delivery([&] {
    host().Send(VGS::kBeginBatch);
    host().Send(VGS::kBeginBatch);
    host().Send(VGS::kSetGeometry, &scene_.setGeometry);
    host().Send(VGS::kPlaceInstance, &scene_.place);
    host().Send(VGS::kEndBatch);
    delivered = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!delivered && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(delivered);
  if (!delivered) exporter().Stop();  // releases the gate the batch waits for
  delivery.join();
  // One end released the gate: the finish takes it.
  Advance(5001ms);
  host().Tick();
  EXPECT_TRUE(std::filesystem::exists(file_));
}

TEST_F(ColladaExporterTest, ABatchThatNeverEndsHoldsTheFinishBackWithoutBlockingTheTick) {
  SendBatch();
  host().Send(VGS::kBeginBatch);
  Advance(60s);
  const auto before = std::chrono::steady_clock::now();
  host().Tick();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
  ExpectCollecting();
  host().Send(VGS::kEndBatch);
  Advance(5001ms);
  host().Tick();
  EXPECT_TRUE(std::filesystem::exists(file_));
}

// --- A host that lacks one service ------------------------------------------------------------------

struct MissingService {
  const char* name;
  VWIID id;
  const char16_t* offeredName;  // the file name the save dialog offers
  bool delivers;                // the drawing reaches the exporter
  bool ticks;                   // the host's ticks reach the exporter
};

void PrintTo(const MissingService& missing, std::ostream* out) { *out << missing.name; }

class ColladaExporterWithoutServiceTest : public ColladaExporterTest,
                                          public testing::WithParamInterface<MissingService> {
protected:
  void SetUp() override {
    SetUpHost();
    host().documents.fileName = u"/plans/house.vwx";
    host().Withhold(GetParam().id);
  }
};

TEST_P(ColladaExporterWithoutServiceTest, TheExportSkipsWhatNeedsTheMissingService) {
  const MissingService& missing = GetParam();
  ASSERT_EQ(exporter().Start(), 1) << "the view is not refused and the dialog is answered";
  const auto dialogs = host().ui->SaveDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].request.fileName, missing.offeredName);
  EXPECT_EQ(host().sceneChanges.handlers.size(), missing.delivers ? 1u : 0u);
  EXPECT_EQ(host().IsRegistered(ColladaExporter::kTickCode), missing.ticks);

  SendBatch();
  Advance(5001ms);
  host().Tick();
  if (!missing.delivers) {
    // Nothing arrives and nothing ends the stream: the export waits, never reporting it cancelled.
    ExpectCollecting();
    Advance(24h);
    host().Tick();
    ExpectCollecting();
    return;
  }
  if (!missing.ticks) {
    // Only the view report can finish it then; the file is written, but no tick reports it.
    EXPECT_FALSE(std::filesystem::exists(file_));
    host().Send(VGS::kViewChanged);
    EXPECT_TRUE(std::filesystem::exists(file_));
    EXPECT_EQ(EndMessage(), "");
    return;
  }
  EXPECT_TRUE(std::filesystem::exists(file_));
  EXPECT_TRUE(Says(EndMessage(), "export_complete")) << EndMessage();
  ExpectEnded();
  EXPECT_EQ(host().heldReferences(), 0u) << "every service is released after use";
}

INSTANTIATE_TEST_SUITE_P(
    EachServiceInTurn, ColladaExporterWithoutServiceTest,
    testing::Values(MissingService{"notifications", IID_NotificationService, u"house.dae", true, false},
                    MissingService{"variables", IID_ProgramVariables, u"house.dae", true, true},
                    MissingService{"layers", IID_LayerService, u"house.dae", true, true},
                    MissingService{"document", IID_DocumentService, u"untitled.dae", true, true},
                    MissingService{"scene changes", IID_SceneChangeService, u"house.dae", false, true},
                    MissingService{"status messages", IID_StatusMessageService, u"house.dae", true, true},
                    MissingService{"view-pane label", IID_ViewPaneLabelService, u"house.dae", true, true},
                    MissingService{"tools", IID_ToolService, u"house.dae", true, true}),
    [](const testing::TestParamInfo<MissingService>& info) {
      std::string name;
      for (const char* c = info.param.name; *c; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
      }
      return "Without" + name;
    });

}  // namespace
