// The link controller in this process against a recording host, checked by what the host was told
// and by what a renderer then reads from the shared memory.

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <optional>
#include <thread>

#include "link/LinkName.h"
#include "link/OmbrelPlugin.h"
#include "module/OmbrelExtTool_EventSink.h"
#include "platform/ProcessList.h"
#include "platform/SharedMemory.h"
#include "platform/TextConversion.h"
#include "tests/link/LinkTestHost.h"
#include "tests/support/ExportLock.h"
#include "tests/support/TestEnvironment.h"
#include "tools/renderer/LinkReader.h"
#include "transport/TideLinkDocumentManager.h"
#include "transport/WireFormat.h"

namespace {

constexpr uint32_t kQuit = 0x41505344, kDocumentChanged = 0x444F4343, kDocumentClosing = 0x44434C53,
                   kDocumentSaved = 0x64637073, kPaneActivated = 0x4D564961;

// One triangle drawn with one material by one instance, in host units.
struct OneTriangleScene {
  SceneId material{1, 0x4D41544C}, geometry{1, 0x47454F4D}, instance{1, 0x494E5354};
  VGS::AddMaterialData addMaterial{material, TXString(u"Brick")};
  VGS::SetMaterialPropertiesData properties{};
  VGS::HostVector3 positions[3] = {{0, 0, 0}, {1000, 0, 0}, {0, 2000, 3000}};
  VGS::HostVector3 normals[3] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
  VGS::HostTriangle triangle{0, 1, 2};
  VGS::HostMesh mesh{{positions, 3}, {normals, 3}, {}, {&triangle, 1}};
  VGS::SetGeometryData setGeometry{geometry, {&mesh, 1}, 0};
  VGS::PlaceInstanceData place{instance, geometry};
  VGS::SetInstanceTransformData transform{instance, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
  Sequence<SceneId> surfaceMaterial{&material, 1};
  VGS::SetInstanceMaterialsData materials{instance, {&surfaceMaterial, 1}};

  OneTriangleScene() {
    properties.material = material;
    properties.red = 1;
    properties.alpha = 1;
  }
};

class OmbrelPluginTest : public TestEnvironment {
public:
  // Both renderer questions answered no unless a test says otherwise.
  explicit OmbrelPluginTest(std::string_view answers = "message no\nmessage no") : answers_(answers) {}

  void SetUp() override {
    TestEnvironment::SetUp();
    host_ = std::make_unique<LinkTestHost>(answers_);
    drawing_ = u"/plans/site" + platform::Utf16FromUtf8(std::to_string(platform::GetCurrentProcessId())) + u".phase2.vwx";
    linkName_ = drawing_.substr(0, drawing_.size() - 3) + u"dae";
    host_->documents.fileName = drawing_;
  }
  void TearDown() override {
    OmbrelPlugin::DestroyInstance();
    host_.reset();
    TestEnvironment::TearDown();
  }

  OmbrelPlugin& plugin() { return OmbrelPlugin::Instance(); }
  LinkTestHost& host() { return *host_; }
  std::string lastStatus() const { return host_->status.shown.empty() ? "" : host_->status.shown.back(); }

  void SendScene(OneTriangleScene& scene) {
    host().Send(VGS::kBeginBatch);
    host().Send(VGS::kAddMaterial, &scene.addMaterial);
    host().Send(VGS::kSetMaterialProperties, &scene.properties);
    host().Send(VGS::kSetGeometry, &scene.setGeometry);
    host().Send(VGS::kPlaceInstance, &scene.place);
    host().Send(VGS::kSetInstanceTransform, &scene.transform);
    host().Send(VGS::kSetInstanceMaterials, &scene.materials);
    host().Send(VGS::kEndBatch);
  }

  // What a renderer reads of the link now.
  MirroredScene Read() {
    LinkReader reader;
    std::string problem;
    MirroredScene scene;
    EXPECT_TRUE(reader.Open(linkName_, problem)) << problem;
    EXPECT_TRUE(reader.Read(scene));
    return scene;
  }
  const MirroredSurface* Surface(const MirroredScene& scene, std::u16string_view name) {
    for (const MirroredSurface& surface : scene.surfaces) {
      if (surface.name == name) return &surface;
    }
    return nullptr;
  }

  std::string answers_;
  std::unique_ptr<LinkTestHost> host_;
  std::u16string drawing_;
  std::u16string linkName_;
};

// --- Start ----------------------------------------------------------------------------------------

TEST_F(OmbrelPluginTest, StartOpensTheLinkRegistersInOrderAndPreparesTheView) {
  host().layers.projection = 0;
  host().variables.booleans[94] = false;
  ASSERT_TRUE(plugin().Start());
  EXPECT_EQ(plugin().GetState(), LinkState::kRunning);
  EXPECT_EQ(host().notifications.registrationOrder,
            (std::vector<uint32_t>(OmbrelPlugin::kNotificationCodes.begin(), OmbrelPlugin::kNotificationCodes.end())));
  EXPECT_TRUE(host().sceneChanges.IsHandlerRegistered(TXString(u"OmbrelTideLinkPlugin")));
  EXPECT_EQ(host().layers.projection, kProjectionPerspective);
  EXPECT_EQ(host().variables.writes, (std::vector<std::string>{"9871=1", "127=0", "94=1", "9871=0"}));
  EXPECT_EQ(host().status.shown,
            (std::vector<std::string>{"status_tl_initializing/0", "/0", "status_tl_started/1"}));
  EXPECT_EQ(host().labels.byPane.count(3), 1u) << "the label goes to the pane the link started in";
  ASSERT_FALSE(host().tools.messages.empty());
  EXPECT_EQ(host().tools.messages.back(), kRefreshToolMessage);
  // The first start for a user warns about materials, once.
  EXPECT_EQ(host().lastMessageText(), u"dlg_msg_material_warning");
}

TEST_F(OmbrelPluginTest, StartAsksAboutAMissingRendererAndGoesOn) {
  host().host.texts[u"dlg_msg_old_version"] = u"Needs %s or later";
  ASSERT_TRUE(plugin().Start());
  const auto boxes = host().messageBoxes();
  ASSERT_GE(boxes.size(), 2u);
  EXPECT_NE(boxes[0].request.text.find(u"8.5"), std::u16string::npos) << "the old-version question names 8.5";
  EXPECT_TRUE(host().ui->OpenedAddresses().empty()) << "answered no: nothing opened";
}

class OmbrelPluginYesTest : public OmbrelPluginTest {
protected:
  OmbrelPluginYesTest() : OmbrelPluginTest("message yes\nmessage no") {}
};

TEST_F(OmbrelPluginYesTest, AYesToTheOldVersionQuestionOpensTheMakersSite) {
  ASSERT_TRUE(plugin().Start());
  EXPECT_EQ(host().ui->OpenedAddresses(), std::vector<std::u16string>{u"https://www.ombrel.com"});
}

TEST_F(OmbrelPluginTest, ANeverSavedDrawingIsRefusedAndKeepsTheFirstUseWarning) {
  host().documents.fileName.clear();
  EXPECT_FALSE(plugin().Start());
  EXPECT_EQ(host().lastMessageText(), u"dlg_msg_save_first");
  EXPECT_EQ(lastStatus(), "/0");
  EXPECT_TRUE(plugin().settings().FirstTideLink()) << "a start that failed before the warning keeps it";
  EXPECT_FALSE(host().IsRegistered(kQuit));
}

TEST_F(OmbrelPluginTest, ASheetLayerIsRefusedWithoutTouchingTheStatus) {
  host().layers.type = kSheetLayerType;
  EXPECT_FALSE(plugin().Start());
  EXPECT_EQ(host().lastMessageText(), u"dlg_msg_sheet_layer_init");
  EXPECT_EQ(lastStatus(), "/0") << "the not-running answer's empty text is the last one";
  EXPECT_EQ(plugin().GetState(), LinkState::kIdle);
}

// The renderer is to be launched (there is none to launch), so "starting" is the last status
// before the refusal.
class OmbrelPluginLaunchTest : public OmbrelPluginTest {
protected:
  OmbrelPluginLaunchTest() : OmbrelPluginTest("message no\nmessage yes") {}
};

TEST_F(OmbrelPluginLaunchTest, ASheetLayerRefusalEndsTheStartingStatus) {
  host().layers.type = kSheetLayerType;
  EXPECT_FALSE(plugin().Start());
  EXPECT_EQ(host().lastMessageText(), u"dlg_msg_sheet_layer_init");
  EXPECT_EQ(lastStatus(), "/0");
}

TEST_F(OmbrelPluginTest, AStartWhileTheDrawingIsLinkedDoesNothing) {
  ASSERT_TRUE(plugin().Start());
  const size_t statusCount = host().status.shown.size(), boxCount = host().messageBoxes().size();
  EXPECT_FALSE(plugin().Start());
  EXPECT_EQ(host().status.shown.size(), statusCount);
  EXPECT_EQ(host().messageBoxes().size(), boxCount);
}

TEST_F(OmbrelPluginTest, ALinkOfAnotherDrawingIsReplacedAtStart) {
  ASSERT_TRUE(plugin().Start());
  host().documents.fileName = drawing_ + u"2.vwx";
  host().Post(kDocumentChanged);
  EXPECT_EQ(plugin().GetState(), LinkState::kIdle) << "another drawing is active";
  ASSERT_TRUE(plugin().Start());
  const auto& shown = host().status.shown;
  EXPECT_NE(std::find(shown.begin(), shown.end(), "status_tl_disconnected/2"), shown.end());
  EXPECT_EQ(plugin().GetState(), LinkState::kRunning);
}

TEST_F(OmbrelPluginTest, ADrawingLinkedElsewhereIsRefusedWithTheAlreadyOpenMessage) {
  auto elsewhere = TideLinkDocumentManager::Instance().OpenDocument(linkName_, 16);
  ASSERT_NE(elsewhere, nullptr);
  EXPECT_FALSE(plugin().Start());
  EXPECT_EQ(host().lastMessageText(), u"dlg_msg_already_open");
  EXPECT_EQ(lastStatus(), "/0");
  EXPECT_FALSE(host().IsRegistered(kQuit));
  TideLinkDocumentManager::Instance().CloseDocument(elsewhere);
}

// Two drawings without an extension in a folder with a dot, one linked by another process: each
// link is named after its own drawing, in that folder, never after the folder's name.
TEST_F(OmbrelPluginTest, DrawingsOfADottedFolderLinkUnderNamesOfTheirOwn) {
  const std::u16string folder = u"/plans/my.projects" + platform::Utf16FromUtf8(std::to_string(platform::GetCurrentProcessId())) + u"/";
  auto elsewhere = TideLinkDocumentManager::Instance().OpenDocument(DaeNameOf(folder + u"garden"), 16);
  ASSERT_NE(elsewhere, nullptr);
  host().documents.fileName = folder + u"house";
  EXPECT_TRUE(plugin().Start()) << platform::Utf8FromUtf16(host().lastMessageText());
  platform::SharedMemory linked;
  EXPECT_EQ(platform::SharedMemory::Open(folder + u"house.dae", linked), 0);
  linked.Close();
  plugin().Stop(false);
  TideLinkDocumentManager::Instance().CloseDocument(elsewhere);
}

// --- Tick and operations --------------------------------------------------------------------------

TEST_F(OmbrelPluginTest, TheTickCommitsWhatTheBatchBroughtAndOnlyThen) {
  ASSERT_TRUE(plugin().Start());
  OneTriangleScene scene;
  SendScene(scene);
  EXPECT_EQ(Surface(Read(), u"Brick"), nullptr) << "operations only mark; nothing is written before the tick";
  host().Tick();
  const MirroredScene mirrored = Read();
  const MirroredSurface* brick = Surface(mirrored, u"Brick");
  ASSERT_NE(brick, nullptr);
  EXPECT_EQ(brick->triangleCount(), 2u) << "an open surface is drawn from both sides";
  // Host (x, y, z) in millimetres becomes (x, z, y) in metres: the largest of each axis shows it.
  float largest[3] = {0, 0, 0};
  for (size_t index = 0; index < brick->positions.size(); ++index) {
    largest[index % 3] = std::max(largest[index % 3], brick->positions[index]);
  }
  EXPECT_FLOAT_EQ(largest[0], 1.0f);
  EXPECT_FLOAT_EQ(largest[1], 3.0f);
  EXPECT_FLOAT_EQ(largest[2], 2.0f);
  host().Tick();
  EXPECT_EQ(Read().headerVersion, mirrored.headerVersion) << "a tick with nothing pending commits nothing";
}

TEST_F(OmbrelPluginTest, ATickMeetingAnOpenBatchWaitsAtMostALittleAndCommitsLater) {
  ASSERT_TRUE(plugin().Start());
  OneTriangleScene scene;
  std::thread delivery([&] {
    host().Send(VGS::kBeginBatch);
    host().Send(VGS::kAddMaterial, &scene.addMaterial);
  });
  delivery.join();
  const auto before = std::chrono::steady_clock::now();
  host().Tick();
  const auto waited = std::chrono::steady_clock::now() - before;
  EXPECT_GE(waited, std::chrono::milliseconds(240));
  EXPECT_EQ(Surface(Read(), u"Brick"), nullptr);
  std::thread([&] { host().Send(VGS::kEndBatch); }).join();
  host().Tick();
  EXPECT_NE(Surface(Read(), u"Brick"), nullptr);
}

TEST_F(OmbrelPluginTest, ACommitThatFoundTheLockHeldIsWrittenAtTheNextTickWithoutAnotherEdit) {
  ASSERT_TRUE(plugin().Start());
  platform::SharedMemory mapping;
  ASSERT_EQ(platform::SharedMemory::Open(linkName_, mapping), 0);
  // The lock word as a living renderer (another living process) holds it.
  auto& owner = *reinterpret_cast<std::atomic<uint32_t>*>(static_cast<uint8_t*>(mapping.data()) +
                                                          offsetof(wire::HeaderRecord, lockOwner));
  const uint32_t living = AnotherLivingProcess();
  ASSERT_NE(living, 0u);
  owner = living;
  OneTriangleScene scene;
  SendScene(scene);
  host().Tick();
  owner = 0;
  EXPECT_EQ(Surface(Read(), u"Brick"), nullptr) << "the commit could not write";
  host().Tick();
  EXPECT_NE(Surface(Read(), u"Brick"), nullptr);
  // The debug log records the miss once, and the commit that wrote.
  const std::string log = ReadFile(debugLogPath());
  const size_t miss = log.find("for the renderer's lock in vain");
  ASSERT_NE(miss, std::string::npos) << log;
  EXPECT_EQ(log.find("for the renderer's lock in vain", miss + 1), std::string::npos) << log;
  EXPECT_NE(log.find("Commit ", miss), std::string::npos) << log;
}

TEST_F(OmbrelPluginTest, BatchesOnTheDeliveryThreadMeetTicksOnTheMainThreadAndTheLastOneWins) {
  ASSERT_TRUE(plugin().Start());
  OneTriangleScene scene;
  SendScene(scene);
  std::atomic<bool> delivered{false};
  std::thread delivery([&] {
    for (int step = 1; step <= 200; ++step) {
      scene.transform.matrix[12] = step * 1000.0;  // the instance moves one metre along x each batch
      host().Send(VGS::kBeginBatch);
      host().Send(VGS::kSetInstanceTransform, &scene.transform);
      host().Send(VGS::kEndBatch);
    }
    delivered = true;
  });
  while (!delivered) host().Tick();
  delivery.join();
  host().Tick();
  const MirroredScene mirrored = Read();
  const MirroredSurface* brick = Surface(mirrored, u"Brick");
  ASSERT_NE(brick, nullptr);
  float smallestX = 1e30f;
  for (size_t index = 0; index < brick->positions.size(); index += 3) smallestX = std::min(smallestX, brick->positions[index]);
  EXPECT_FLOAT_EQ(smallestX, 200.0f);
}

TEST_F(OmbrelPluginTest, ASecondBeginBatchDoesNotTakeTheLockAgain) {
  ASSERT_TRUE(plugin().Start());
  OneTriangleScene scene;
  host().Send(VGS::kBeginBatch);
  host().Send(VGS::kBeginBatch);  // would wait for itself forever
  host().Send(VGS::kAddMaterial, &scene.addMaterial);
  host().Send(VGS::kEndBatch);
  host().Tick();
  EXPECT_NE(Surface(Read(), u"Brick"), nullptr);
}

TEST_F(OmbrelPluginTest, StopInTheMiddleOfABatchLeavesNoLockBehind) {
  ASSERT_TRUE(plugin().Start());
  std::thread([&] { host().Send(VGS::kBeginBatch); }).join();
  plugin().Stop(false);
  EXPECT_EQ(lastStatus(), "status_tl_stopped/1");
  ASSERT_TRUE(plugin().Start());
  OneTriangleScene scene;
  SendScene(scene);
  host().Tick();
  EXPECT_NE(Surface(Read(), u"Brick"), nullptr);
}

TEST_F(OmbrelPluginTest, AnInstanceMaterialListWithOnlyEmptyEntriesChangesNothing) {
  ASSERT_TRUE(plugin().Start());
  OneTriangleScene scene;
  SendScene(scene);
  host().Tick();
  const uint32_t version = Read().headerVersion;
  Sequence<SceneId> empty{};
  VGS::SetInstanceMaterialsData none{scene.instance, {&empty, 1}};
  host().Send(VGS::kBeginBatch);
  host().Send(VGS::kSetInstanceMaterials, &none);
  host().Send(VGS::kEndBatch);
  host().Tick();
  EXPECT_EQ(Read().headerVersion, version);
  EXPECT_EQ(Surface(Read(), u"Brick")->triangleCount(), 2u);
}

// --- Ending a link --------------------------------------------------------------------------------

TEST_F(OmbrelPluginTest, EachWayALinkEndsShowsItsStatus) {
  struct Ending {
    const char* name;
    std::function<void(OmbrelPluginTest&)> end;
    const char* status;
  };
  const Ending endings[] = {
      {"quit", [](OmbrelPluginTest& t) { t.host().Post(kQuit); }, "status_tl_stopped/1"},
      {"end of stream", [](OmbrelPluginTest& t) {
         t.host().Send(VGS::kEndOfStream);
         t.host().Tick();
       }, "status_tl_disconnected/2"},
      {"closed", [](OmbrelPluginTest& t) { t.host().Post(kDocumentClosing); }, "status_tl_disconnected/2"},
      {"saved as", [](OmbrelPluginTest& t) {
         t.host().documents.fileName = u"/plans/other.vwx";
         t.host().Post(kDocumentSaved);
       }, "status_tl_disconnected/2"},
      {"renderer", [](OmbrelPluginTest& t) {
         LinkReader reader;
         std::string problem;
         ASSERT_TRUE(reader.Open(t.linkName_, problem));
         reader.CloseLink();
         t.host().Tick();
       }, "status_tl_disconnected/2"},
      {"save as COLLADA", [](OmbrelPluginTest& t) {
         const ExportLock lock;
         t.plugin().SaveAsCollada();
         t.plugin().exporter().Stop();
       }, "status_tl_disconnected/2"},
  };
  for (const Ending& ending : endings) {
    SCOPED_TRACE(ending.name);
    host().documents.fileName = drawing_;
    ASSERT_TRUE(plugin().Start());
    ending.end(*this);
    EXPECT_EQ(plugin().GetState(), LinkState::kIdle);
    EXPECT_FALSE(host().IsRegistered(kQuit));
    EXPECT_TRUE(host().sceneChanges.handlers.empty());
    EXPECT_TRUE(host().labels.byPane.empty());
    EXPECT_EQ(lastStatus(), ending.status);
  }
}

TEST_F(OmbrelPluginTest, SavingUnderItsOwnNameOrClosingAnotherDrawingKeepsTheLink) {
  ASSERT_TRUE(plugin().Start());
  host().Post(kDocumentSaved);
  EXPECT_EQ(plugin().GetState(), LinkState::kRunning);
  host().documents.fileName = u"/plans/other.vwx";
  host().Post(kDocumentChanged);
  host().Post(kDocumentClosing);
  host().documents.fileName = drawing_;
  host().Post(kDocumentChanged);
  EXPECT_EQ(plugin().GetState(), LinkState::kRunning);
}

TEST_F(OmbrelPluginTest, NotificationsWithoutALinkDoNothing) {
  for (uint32_t code : OmbrelPlugin::kNotificationCodes) OmbrelPlugin::OnNotification(code, 0, nullptr);
  EXPECT_TRUE(host().status.shown.empty());
  EXPECT_TRUE(host().tools.messages.empty());
}

// --- Pause and document switch --------------------------------------------------------------------

TEST_F(OmbrelPluginTest, ASheetLayerPausesCommitsAndTheDesignLayerResumesThem) {
  ASSERT_TRUE(plugin().Start());
  host().layers.type = kSheetLayerType;
  host().Tick();
  EXPECT_EQ(plugin().GetState(), LinkState::kPaused);
  EXPECT_EQ(lastStatus(), "status_tl_paused/2");
  OneTriangleScene scene;
  SendScene(scene);
  host().Tick();
  EXPECT_EQ(Surface(Read(), u"Brick"), nullptr) << "nothing is committed while paused";
  EXPECT_FALSE(plugin().Resume()) << "still on the sheet layer";
  EXPECT_EQ(host().lastMessageText(), u"dlg_msg_sheet_layer_resume");
  host().layers.type = 1;
  host().Tick();
  EXPECT_EQ(plugin().GetState(), LinkState::kRunning);
  EXPECT_EQ(lastStatus(), "status_tl_resumed/1");
  EXPECT_NE(Surface(Read(), u"Brick"), nullptr);
}

TEST_F(OmbrelPluginTest, TheRendererPreviewVariableOverridesTheSheetLayerButNotAnOffView) {
  ASSERT_TRUE(plugin().Start());
  host().layers.type = kSheetLayerType;
  host().variables.booleans[6802] = true;
  host().Tick();
  EXPECT_EQ(plugin().GetState(), LinkState::kRunning);
  host().variables.booleans[94] = false;
  host().Tick();
  EXPECT_EQ(plugin().GetState(), LinkState::kPaused);
  host().variables.booleans[94] = true;
  host().variables.booleans.erase(6802);
  host().layers.type = 1;
  host().layers.projection = 6;
  host().Tick();
  EXPECT_EQ(plugin().GetState(), LinkState::kPaused) << "projection 6 pauses";
}

TEST_F(OmbrelPluginTest, AnotherActiveDrawingIsIdleAndItsOperationsAreIgnored) {
  ASSERT_TRUE(plugin().Start());
  host().documents.fileName = u"/plans/other.vwx";
  host().Post(kDocumentChanged);
  EXPECT_EQ(plugin().GetState(), LinkState::kIdle);
  OneTriangleScene scene;
  SendScene(scene);
  host().documents.fileName = drawing_;
  host().Post(kDocumentChanged);
  EXPECT_EQ(plugin().GetState(), LinkState::kRunning);
  host().Tick();
  EXPECT_EQ(Surface(Read(), u"Brick"), nullptr) << "operations of another drawing never reach the link";
}

// --- Camera ---------------------------------------------------------------------------------------

TEST_F(OmbrelPluginTest, ViewReportsMoveTheRenderersCameraWhileSyncIsOn) {
  ASSERT_TRUE(plugin().Start());
  ASSERT_TRUE(plugin().IsCameraAvailable());
  ASSERT_TRUE(plugin().GetCameraSync()) << "synchronisation starts as the setting says";
  VGS::CameraReport view{{1000, 2000, 3000}, {1, 2, 0.5}, {0, 0, 3}, 0, 36, 50};
  host().Send(VGS::kViewChanged, &view);
  MirroredScene mirrored = Read();
  ASSERT_TRUE(mirrored.camera.enabled);
  EXPECT_FLOAT_EQ(mirrored.camera.matrix[12], 1.0f);
  EXPECT_FLOAT_EQ(mirrored.camera.matrix[13], 3.0f);
  EXPECT_NEAR(mirrored.camera.fieldOfView, 39.5977, 1e-3);

  view.focalDistance = 0;
  host().Send(VGS::kViewChanged, &view);
  EXPECT_FALSE(Read().camera.enabled) << "a view without camera clears the renderer's";
}

TEST_F(OmbrelPluginTest, ADegenerateReportChangesNothingButASwitchOnThenClears) {
  ASSERT_TRUE(plugin().Start());
  VGS::CameraReport view{{1000, 2000, 3000}, {1, 2, 0.5}, {0, 0, 3}, 0, 36, 50};
  host().Send(VGS::kViewChanged, &view);
  VGS::CameraReport degenerate{{0, 0, 0}, {0, 0, 0}, {0, 0, 1}, 0, 36, 50};
  host().Send(VGS::kViewChanged, &degenerate);
  EXPECT_TRUE(Read().camera.enabled);
  ASSERT_TRUE(plugin().SetCameraSync(false));
  EXPECT_EQ(lastStatus(), "status_cam_stopped/2");
  EXPECT_FALSE(Read().camera.enabled);
  EXPECT_FALSE(plugin().SetCameraSync(false)) << "no change";
  host().Send(VGS::kViewChanged, &view);
  EXPECT_FALSE(Read().camera.enabled) << "sync off: reports are kept, not sent";
  host().Send(VGS::kViewChanged, &degenerate);
  ASSERT_TRUE(plugin().SetCameraSync(true));
  EXPECT_EQ(lastStatus(), "status_cam_started/1");
  EXPECT_FALSE(Read().camera.enabled) << "the last report gave no camera";
}

TEST_F(OmbrelPluginTest, AnotherViewMakesTheCameraUnavailableAndResumeBringsThePaneBack) {
  ASSERT_TRUE(plugin().Start());
  host().sceneChanges.viewId = 8;
  host().Tick();
  EXPECT_FALSE(plugin().IsCameraAvailable());
  EXPECT_EQ(lastStatus(), "status_cam_paused/2");
  EXPECT_FALSE(plugin().SetCameraSync(false)) << "not available: nothing switches";
  VGS::CameraReport view{{1000, 2000, 3000}, {1, 2, 0.5}, {0, 0, 3}, 0, 36, 50};
  host().Send(VGS::kViewChanged, &view);
  EXPECT_FALSE(Read().camera.enabled) << "reports are ignored while unavailable";
  host().variables.writes.clear();
  EXPECT_FALSE(plugin().ResumeCamera()) << "the host test does not switch views by itself";
  EXPECT_EQ(host().variables.writes.front(), "6041=3");
  host().sceneChanges.viewId = 7;
  EXPECT_TRUE(plugin().ResumeCamera());
  EXPECT_EQ(lastStatus(), "status_cam_resumed/1");
  host().layers.type = kSheetLayerType;
  EXPECT_FALSE(plugin().ResumeCamera());
  EXPECT_EQ(host().lastMessageText(), u"dlg_msg_sheet_layer_cam_resume");
}

// --- Label ----------------------------------------------------------------------------------------

TEST_F(OmbrelPluginTest, TheLabelShowsTheCameraStateAndItsClicksSwitchIt) {
  ASSERT_TRUE(plugin().Start());
  EXPECT_EQ(host().LabelItems(3),
            (std::vector<std::string>{"label_about.png|", "label_camera_stop.png|tool_camera_stop"}));
  ASSERT_TRUE(host().ClickLabel(3, 1));
  EXPECT_FALSE(plugin().GetCameraSync());
  EXPECT_EQ(host().LabelItems(3)[1], "label_camera_start.png|tool_camera_start");
  ASSERT_TRUE(host().ClickLabel(3, 0));
  EXPECT_EQ(host().LabelItems(3)[1], "label_camera_start.png|") << "the about icon hides the text";
  ASSERT_TRUE(host().ClickLabel(3, 0));
  EXPECT_EQ(host().LabelItems(3)[1], "label_camera_start.png|tool_camera_start");
  host().sceneChanges.viewId = 8;
  host().Tick();
  EXPECT_EQ(host().LabelItems(3)[1], "label_camera_start.png|tool_camera_idle");
}

TEST_F(OmbrelPluginTest, ALabelRemovedWhileIdleStaysRemoved) {
  ASSERT_TRUE(plugin().Start());
  host().documents.fileName = u"/plans/other.vwx";
  host().Post(kDocumentChanged);
  host().Post(kPaneActivated);
  EXPECT_TRUE(host().labels.byPane.empty());
  host().documents.fileName = drawing_;
  host().Post(kDocumentChanged);
  host().Post(kPaneActivated);
  EXPECT_TRUE(host().labels.byPane.empty());
  EXPECT_EQ(plugin().GetState(), LinkState::kRunning);
}

// --- Tool -----------------------------------------------------------------------------------------

std::vector<std::u16string> FirstImages(const LinkTestHost::Tools& tools) {
  std::vector<std::u16string> images;
  for (const auto& button : tools.buttons) images.push_back(button.front());
  return images;
}

TEST_F(OmbrelPluginTest, TheModeBarFollowsTheLinkState) {
  VGS_Ombrel::OmbrelExtTool_EventSink sink;
  sink.SetupModeBar();
  EXPECT_EQ(FirstImages(host().tools),
            (std::vector<std::u16string>{u"about.png", u"start.png", u"camera_start.png", u"settings.png", u"save.png"}));
  EXPECT_EQ(host().tools.helpTips[2], u"tool_camera_idle");
  EXPECT_EQ(host().tools.enabled, (std::vector<std::pair<int32_t, bool>>{{2, false}, {4, true}, {3, true}}));

  sink.HandleModeBarButton(1, 0);
  ASSERT_EQ(plugin().GetState(), LinkState::kRunning);
  host().tools = {};
  sink.SetupModeBar();
  EXPECT_EQ(FirstImages(host().tools)[1], u"stop.png");
  EXPECT_EQ(FirstImages(host().tools)[2], u"camera_stop.png");
  EXPECT_EQ(host().tools.enabled, (std::vector<std::pair<int32_t, bool>>{{2, true}, {4, false}, {3, false}}));
  sink.HandleModeBarButton(3, 0);
  EXPECT_EQ(plugin().GetState(), LinkState::kRunning) << "settings do nothing while linked";

  host().layers.type = kSheetLayerType;
  host().Tick();
  host().tools = {};
  sink.SetupModeBar();
  EXPECT_EQ(host().tools.buttons[1], (std::vector<std::u16string>{u"resume.png", u"stop.png"}));
  EXPECT_EQ(host().tools.helpTips,
            (std::vector<std::u16string>{u"tool_about", u"tool_resume", u"tool_stop", u"tool_camera_idle",
                                         u"tool_settings", u"tool_save"}));
  EXPECT_EQ(host().tools.enabled[0], (std::pair<int32_t, bool>{2, false}));
  sink.HandleModeBarButton(1, 1);
  EXPECT_EQ(plugin().GetState(), LinkState::kIdle);
  EXPECT_EQ(lastStatus(), "status_tl_stopped/1");
}

TEST_F(OmbrelPluginTest, ThePausedLinkButtonsFirstChoiceResumes) {
  ASSERT_TRUE(plugin().Start());
  host().layers.projection = 6;
  host().Tick();
  ASSERT_EQ(plugin().GetState(), LinkState::kPaused);
  VGS_Ombrel::OmbrelExtTool_EventSink sink;
  sink.HandleModeBarButton(1, 0);
  EXPECT_EQ(lastStatus(), "status_tl_resumed/1");
  EXPECT_EQ(host().layers.projection, kProjectionPerspective);
  EXPECT_EQ(plugin().GetState(), LinkState::kPaused) << "the next tick decides";
  host().Tick();
  EXPECT_EQ(plugin().GetState(), LinkState::kRunning);
}

TEST_F(OmbrelPluginTest, OnlyTheRefreshMessageRebuildsTheTool) {
  VGS_Ombrel::OmbrelExtTool_EventSink sink;
  EXPECT_EQ(sink.OnToolMessage(kRefreshToolMessage), kToolMessageHandled);
  EXPECT_EQ(host().tools.refreshed, std::vector<std::u16string>{u"OmbrelTideLinkTool"});
  EXPECT_EQ(sink.OnToolMessage(kRefreshToolMessage - 1), kToolMessageNotHandled);
  EXPECT_EQ(host().tools.refreshed.size(), 1u);
}

TEST_F(OmbrelPluginTest, AReducedHostGetsOnlyTheVersionWarning) {
  host().host.majorVersion = 24;
  VGS_Ombrel::OmbrelExtTool_EventSink sink;
  sink.SetupModeBar();
  EXPECT_EQ(FirstImages(host().tools), (std::vector<std::u16string>{u"about.png", u"version.png"}));
  EXPECT_TRUE(host().tools.enabled.empty());
  sink.HandleModeBarButton(1, 0);
  EXPECT_EQ(host().lastMessageText(), u"dlg_msg_version_warning");
  EXPECT_EQ(host().messageBoxes().back().request.flags & 0xF0, 0x10u) << "the error icon";
  sink.HandleModeBarButton(4, 0);
  EXPECT_EQ(plugin().GetState(), LinkState::kIdle);
}

// --- Every cell of the mode bar and the label -------------------------------------------------------

// One combination of link state, camera availability and camera sync, and what the tool and the
// label must show for it. Camera sync is on after a start (the setting's default).
struct ShownCell {
  const char* name;
  std::function<void(OmbrelPluginTest&)> reach;
  std::vector<std::vector<std::u16string>> images;  // per button, every choice
  std::vector<std::string> help;                    // "tip|help|kind" per choice, after the about entry
  std::vector<std::pair<int32_t, bool>> enabled;    // buttons 2, 4 and 3, in that order
  std::optional<std::string> labelCamera;           // "image|text" of the camera item; "" for no label
};

void StartLink(OmbrelPluginTest& t) { ASSERT_TRUE(t.plugin().Start()); }
void SyncOff(OmbrelPluginTest& t) { ASSERT_TRUE(t.plugin().SetCameraSync(false)); }
void OtherView(OmbrelPluginTest& t) {
  t.host().sceneChanges.viewId = 8;
  t.host().Tick();
}
void OffView(OmbrelPluginTest& t) {
  t.host().layers.projection = 6;
  t.host().Tick();
}
void OtherDrawing(OmbrelPluginTest& t) {
  t.host().documents.fileName = u"/plans/other.vwx";
  t.host().Post(kDocumentChanged);
}

const std::vector<std::u16string> kStart{u"start.png"}, kStop{u"stop.png"}, kResumeOrStop{u"resume.png", u"stop.png"},
    kCameraStart{u"camera_start.png"}, kCameraStop{u"camera_stop.png"}, kSettings{u"settings.png"}, kSave{u"save.png"};
const std::string kStartHelp = "tool_start|tool_start_help|1", kStopHelp = "tool_stop|tool_stop_help|1",
                  kResumeHelp = "tool_resume|tool_resume_help|1", kIdleHelp = "tool_camera_idle|tool_camera_idle_help|1",
                  kResumeCameraHelp = "tool_camera_resume|tool_camera_resume_help|1",
                  kCameraStartHelp = "tool_camera_start|tool_camera_start_help|1",
                  kCameraStopHelp = "tool_camera_stop|tool_camera_stop_help|1",
                  kSettingsHelp = "tool_settings|tool_settings_help|1", kSaveHelp = "tool_save|tool_save_help|1";
const std::vector<std::pair<int32_t, bool>> kIdleEnabled{{2, false}, {4, true}, {3, true}},
    kRunningEnabled{{2, true}, {4, false}, {3, false}}, kPausedEnabled{{2, false}, {4, false}, {3, false}};

const ShownCell kShownCells[] = {
    {"no link", [](OmbrelPluginTest&) {},
     {kStart, kCameraStart, kSettings, kSave}, {kStartHelp, kIdleHelp, kSettingsHelp, kSaveHelp}, kIdleEnabled, ""},
    {"running, camera, sync on", StartLink,
     {kStop, kCameraStop, kSettings, kSave}, {kStopHelp, kCameraStopHelp, kSettingsHelp, kSaveHelp}, kRunningEnabled,
     "label_camera_stop.png|tool_camera_stop"},
    {"running, camera, sync off", [](OmbrelPluginTest& t) { StartLink(t); SyncOff(t); },
     {kStop, kCameraStart, kSettings, kSave}, {kStopHelp, kCameraStartHelp, kSettingsHelp, kSaveHelp}, kRunningEnabled,
     "label_camera_start.png|tool_camera_start"},
    {"running, no camera, sync on", [](OmbrelPluginTest& t) { StartLink(t); OtherView(t); },
     {kStop, kCameraStart, kSettings, kSave}, {kStopHelp, kResumeCameraHelp, kSettingsHelp, kSaveHelp},
     kRunningEnabled, "label_camera_start.png|tool_camera_idle"},
    {"running, no camera, sync off", [](OmbrelPluginTest& t) { StartLink(t); SyncOff(t); OtherView(t); },
     {kStop, kCameraStart, kSettings, kSave}, {kStopHelp, kResumeCameraHelp, kSettingsHelp, kSaveHelp},
     kRunningEnabled, "label_camera_start.png|tool_camera_idle"},
    {"paused, no camera, sync on", [](OmbrelPluginTest& t) { StartLink(t); OffView(t); },
     {kResumeOrStop, kCameraStart, kSettings, kSave}, {kResumeHelp, kStopHelp, kIdleHelp, kSettingsHelp, kSaveHelp},
     kPausedEnabled, "label_camera_start.png|tool_camera_idle"},
    {"paused, no camera, sync off", [](OmbrelPluginTest& t) { StartLink(t); SyncOff(t); OffView(t); },
     {kResumeOrStop, kCameraStart, kSettings, kSave}, {kResumeHelp, kStopHelp, kIdleHelp, kSettingsHelp, kSaveHelp},
     kPausedEnabled, "label_camera_start.png|tool_camera_idle"},
    // Another drawing made active: the link counts as idle while the camera flags are those last
    // evaluated, until the next tick finds the camera gone.
    {"idle, camera, sync on", [](OmbrelPluginTest& t) { StartLink(t); OtherDrawing(t); },
     {kStart, kCameraStop, kSettings, kSave}, {kStartHelp, kCameraStopHelp, kSettingsHelp, kSaveHelp}, kIdleEnabled,
     std::nullopt},
    {"idle, camera, sync off", [](OmbrelPluginTest& t) { StartLink(t); SyncOff(t); OtherDrawing(t); },
     {kStart, kCameraStart, kSettings, kSave}, {kStartHelp, kCameraStartHelp, kSettingsHelp, kSaveHelp}, kIdleEnabled,
     std::nullopt},
    {"idle, no camera, sync on", [](OmbrelPluginTest& t) { StartLink(t); OtherDrawing(t); t.host().Tick(); },
     {kStart, kCameraStart, kSettings, kSave}, {kStartHelp, kIdleHelp, kSettingsHelp, kSaveHelp}, kIdleEnabled,
     std::nullopt},
};

TEST_F(OmbrelPluginTest, EveryCellOfTheModeBarShowsItsImagesTextsAndEnabledStates) {
  host().host.texts[u"tool_about_help"] = u"About, version %s";
  VGS_Ombrel::OmbrelExtTool_EventSink sink;
  for (const ShownCell& cell : kShownCells) {
    SCOPED_TRACE(cell.name);
    cell.reach(*this);
    host().tools = {};
    sink.SetupModeBar();
    std::vector<std::vector<std::u16string>> images{{u"about.png"}};
    images.insert(images.end(), cell.images.begin(), cell.images.end());
    EXPECT_EQ(host().tools.buttons, images);
    std::vector<std::string> help{"tool_about|About, version 3.60.92|1"};
    help.insert(help.end(), cell.help.begin(), cell.help.end());
    EXPECT_EQ(host().tools.helpEntries, help);
    EXPECT_EQ(host().tools.enabled, cell.enabled);
    plugin().Stop(false);
    host().documents.fileName = drawing_;
    host().sceneChanges.viewId = 7;
    host().layers.projection = kProjectionPerspective;
  }
}

TEST_F(OmbrelPluginTest, EveryCellOfTheLabelShowsItsCameraIconWithAndWithoutItsText) {
  for (const ShownCell& cell : kShownCells) {
    if (!cell.labelCamera) continue;
    SCOPED_TRACE(cell.name);
    cell.reach(*this);
    if (cell.labelCamera->empty()) {
      EXPECT_TRUE(host().labels.byPane.empty());
      continue;
    }
    EXPECT_EQ(host().LabelItems(3), (std::vector<std::string>{"label_about.png|", *cell.labelCamera}));
    ASSERT_TRUE(host().ClickLabel(3, 0));
    const std::string image = cell.labelCamera->substr(0, cell.labelCamera->find('|') + 1);
    EXPECT_EQ(host().LabelItems(3), (std::vector<std::string>{"label_about.png|", image}));
    ASSERT_TRUE(host().ClickLabel(3, 0));
    plugin().Stop(false);
    host().sceneChanges.viewId = 7;
    host().layers.projection = kProjectionPerspective;
  }
}

TEST_F(OmbrelPluginTest, TheReducedToolIsTheSameInEveryLinkState) {
  host().host.majorVersion = 24;
  host().host.texts[u"tool_about_help"] = u"About, version %s";
  VGS_Ombrel::OmbrelExtTool_EventSink sink;
  for (const ShownCell& cell : kShownCells) {
    SCOPED_TRACE(cell.name);
    cell.reach(*this);
    host().tools = {};
    sink.SetupModeBar();
    EXPECT_EQ(host().tools.buttons, (std::vector<std::vector<std::u16string>>{{u"about.png"}, {u"version.png"}}));
    EXPECT_EQ(host().tools.helpEntries, (std::vector<std::string>{"tool_about|About, version 3.60.92|1",
                                                                  "tool_version_tip|tool_version_help|1"}));
    EXPECT_TRUE(host().tools.enabled.empty());
    plugin().Stop(false);
    host().documents.fileName = drawing_;
    host().sceneChanges.viewId = 7;
    host().layers.projection = kProjectionPerspective;
  }
}

// --- A host that lacks one service ------------------------------------------------------------------

// A link started from the tool's button, sent one batch, ticked once and stopped, on a host without
// one service: what the user and the renderer see of it.
struct MissingService {
  const char* name;
  VWIID id;
  bool starts;
  LinkState afterTick;
  bool mirrored;                    // the renderer reads the batch after the tick
  bool label;                       // a label in the pane the link started in
  std::vector<std::u16string> tips;  // the mode bar's tips after the tick
  std::vector<std::string> statuses;
};

void PrintTo(const MissingService& missing, std::ostream* out) { *out << missing.name; }

class OmbrelPluginWithoutServiceTest : public OmbrelPluginTest, public testing::WithParamInterface<MissingService> {};

TEST_P(OmbrelPluginWithoutServiceTest, TheLinkSkipsWhatNeedsTheMissingService) {
  const MissingService& missing = GetParam();
  host().Withhold(missing.id);
  VGS_Ombrel::OmbrelExtTool_EventSink sink;
  sink.HandleModeBarButton(1, 0);
  EXPECT_EQ(plugin().IsActive(), missing.starts);
  OneTriangleScene scene;
  SendScene(scene);
  host().Tick();
  EXPECT_EQ(plugin().GetState(), missing.afterTick);
  if (missing.starts) {
    EXPECT_EQ(Surface(Read(), u"Brick") != nullptr, missing.mirrored);
  }
  EXPECT_EQ(host().labels.byPane.count(3), missing.label ? 1u : 0u);
  host().tools = {};
  sink.SetupModeBar();
  EXPECT_EQ(host().tools.helpTips, missing.tips);
  if (plugin().IsActive()) sink.HandleModeBarButton(1, plugin().GetState() == LinkState::kPaused ? 1 : 0);
  EXPECT_EQ(plugin().GetState(), LinkState::kIdle);
  EXPECT_EQ(host().status.shown, missing.statuses);
  EXPECT_TRUE(host().notifications.callbacks.empty());
  EXPECT_TRUE(host().sceneChanges.handlers.empty());
  EXPECT_TRUE(host().labels.byPane.empty());
  EXPECT_EQ(host().heldReferences(), 0u) << "every service is released after use";
}

const std::vector<std::u16string> kRunningTips{u"tool_about", u"tool_stop", u"tool_camera_stop", u"tool_settings",
                                               u"tool_save"},
    kNoCameraTips{u"tool_about", u"tool_stop", u"tool_camera_resume", u"tool_settings", u"tool_save"};
const std::vector<std::string> kStartedAndStopped{"status_tl_initializing/0", "/0", "status_tl_started/1",
                                                  "status_tl_stopped/1"};

INSTANTIATE_TEST_SUITE_P(
    EachServiceInTurn, OmbrelPluginWithoutServiceTest,
    testing::Values(
        // No ticks reach the link, so nothing is committed; it still starts and stops.
        MissingService{"notifications", IID_NotificationService, true, LinkState::kRunning, false, true, kRunningTips,
                       kStartedAndStopped},
        // The view cannot be shown to be on: paused at the first tick, with no camera.
        MissingService{"variables", IID_ProgramVariables, true, LinkState::kPaused, false, true,
                       {u"tool_about", u"tool_resume", u"tool_stop", u"tool_camera_idle", u"tool_settings",
                        u"tool_save"},
                       {"status_tl_initializing/0", "/0", "status_tl_started/1", "status_tl_paused/2",
                        "status_tl_stopped/1"}},
        // No sheet layer to refuse and no pause, but no perspective to give a camera either.
        MissingService{"layers", IID_LayerService, true, LinkState::kRunning, true, true, kNoCameraTips,
                       kStartedAndStopped},
        // No file name: a drawing never saved.
        MissingService{"document", IID_DocumentService, false, LinkState::kIdle, false, false,
                       {u"tool_about", u"tool_start", u"tool_camera_idle", u"tool_settings", u"tool_save"},
                       {"status_tl_initializing/0", "/0", "/0"}},
        // No operations, no pane and no view: the link runs on empty, and the tick must not take
        // the missing registration for an ended stream.
        MissingService{"scene changes", IID_SceneChangeService, true, LinkState::kRunning, false, false, kNoCameraTips,
                       kStartedAndStopped},
        MissingService{"status messages", IID_StatusMessageService, true, LinkState::kRunning, true, true,
                       kRunningTips, {}},
        MissingService{"view-pane label", IID_ViewPaneLabelService, true, LinkState::kRunning, true, false,
                       kRunningTips, kStartedAndStopped},
        MissingService{"tools", IID_ToolService, true, LinkState::kRunning, true, true, {}, kStartedAndStopped}),
    [](const testing::TestParamInfo<MissingService>& info) {
      std::string name;
      for (const char* c = info.param.name; *c; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
      }
      return "Without" + name;
    });

}  // namespace
