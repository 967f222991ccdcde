#include "ui/MessageCatalog.h"

#include <iterator>

#include "ui/MessageBoxStyle.h"

namespace ui {
namespace {

constexpr uint32_t kInformation = kBoxOk | kBoxIconInformation;
constexpr uint32_t kError = kBoxOk | kBoxIconError;
constexpr uint32_t kQuestion = kBoxYesNo | kBoxIconQuestion;

// In the order of UserMessage.
constexpr MessageDefinition kMessages[] = {
    {u"dlg_title_save_first", u"dlg_msg_save_first", kInformation, false},
    {u"dlg_title_sheet_layer", u"dlg_msg_sheet_layer_init", kInformation, false},
    {u"dlg_title_sheet_layer", u"dlg_msg_sheet_layer_resume", kInformation, false},
    {u"dlg_title_sheet_layer", u"dlg_msg_sheet_layer_cam_resume", kInformation, false},
    {u"dlg_title_material_warning", u"dlg_msg_material_warning", kInformation, false},
    {u"dlg_title_version_warning", u"dlg_msg_version_warning", kError, false},
    {u"dlg_title_perspective_view", u"dlg_msg_perspective_view_export", kInformation, false},
    {u"dlg_title_export_canceled", u"dlg_msg_export_canceled", kInformation, false},
    {u"dlg_title_already_open", u"dlg_msg_already_open", kError, true},
    {u"dlg_title_old_version", u"dlg_msg_old_version", kQuestion, true},
    {u"dlg_title_not_running", u"dlg_msg_not_running", kQuestion, true},
    {u"dlg_title_export_complete", u"dlg_msg_export_complete", kInformation, true},
    {u"dlg_title_export_failed", u"dlg_msg_export_failed", kError, true},
    {u"dlg_title_export_not_written", u"dlg_msg_export_not_written", kError, true},
};
static_assert(std::size(kMessages) == static_cast<size_t>(UserMessage::ExportNotWritten) + 1);

}  // namespace

const MessageDefinition& DefinitionOf(UserMessage message) { return kMessages[static_cast<size_t>(message)]; }

}  // namespace ui
