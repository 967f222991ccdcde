#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "sdk/HostCallback.h"
#include "sdk/IVWUnknown.h"
#include "sdk/Sequence.h"
#include "sdk/TXString.h"

// Base classes of the objects a module hands to the host. The host creates and releases them
// through the module entry; the module destroys them itself at release.

class VWExtension : public IVWUnknown {
public:
  explicit VWExtension(CallBackPtr callback) : callback_(callback) {}
  ~VWExtension() override = default;

  uint32_t AddRef() override { return ++references_; }
  uint32_t Release() override { return --references_; }

  // The name the host knows the extension by, e.g. "OmbrelTideLinkTool".
  virtual const char16_t* GetUniversalName() const = 0;

protected:
  CallBackPtr GetCallback() const { return callback_; }

private:
  CallBackPtr callback_;
  std::atomic<uint32_t> references_{0};
};

// Answer of a tool event sink to a tool message.
inline constexpr int32_t kToolMessageHandled = 0;
inline constexpr int32_t kToolMessageNotHandled = -1;

// Receives the tool's events. The base answers every event by doing nothing, and leaves every
// tool message unhandled so that the host applies its own default.
class VWTool_EventSink {
public:
  virtual ~VWTool_EventSink() = default;
  // The host (re)builds the mode bar: the sink adds its buttons and help through the tool service.
  virtual void SetupModeBar() {}
  // `choice` is the chosen entry of a button with choices, 0 for the first (and for others).
  virtual void HandleModeBarButton(int32_t /*index*/, int32_t /*choice*/) {}
  virtual int32_t OnToolMessage(int32_t /*message*/) { return kToolMessageNotHandled; }
};

// A tool. The host drives it through the event sink, which the extension makes on first request
// and keeps until it is released.
class VWExtensionTool : public VWExtension {
public:
  using VWExtension::VWExtension;

  VWTool_EventSink* GetEventSink() {
    if (!eventSink_) eventSink_ = CreateEventSink();
    return eventSink_.get();
  }

protected:
  virtual std::unique_ptr<VWTool_EventSink> CreateEventSink() = 0;

private:
  std::unique_ptr<VWTool_EventSink> eventSink_;
};

// Runs a menu command.
class VWMenu_EventSink {
public:
  virtual ~VWMenu_EventSink() = default;
  virtual void DoInterface() {}
};

// A menu command. The host runs it through the event sink, which the extension makes on first
// request and keeps until it is released.
class VWExtensionMenu : public VWExtension {
public:
  using VWExtension::VWExtension;

  VWMenu_EventSink* GetEventSink() {
    if (!eventSink_) eventSink_ = CreateEventSink();
    return eventSink_.get();
  }

protected:
  virtual std::unique_ptr<VWMenu_EventSink> CreateEventSink() = 0;

private:
  std::unique_ptr<VWMenu_EventSink> eventSink_;
};

// Runs one script function of a set, by its index in the set's table.
class VWPluginLibraryRoutine {
public:
  virtual ~VWPluginLibraryRoutine() = default;
  virtual void Run(int32_t functionIndex, void* callRecord) = 0;
};

// One function of a script-function set, as the host lists it. Every function takes no parameter
// and returns one boolean.
struct VSFunctionDefinition {
  const char16_t* name;
  const char16_t* help;
};

// A set of script functions. The host lists them from the table, under the category, and runs one
// by its index through the set's routine object, passing the call record that takes the result.
class VWExtensionVSFunctions : public VWExtension {
public:
  using VWExtension::VWExtension;

  virtual Sequence<VSFunctionDefinition> GetFunctionTable() const = 0;
  virtual const char16_t* GetCategory() const = 0;
  virtual VWPluginLibraryRoutine* GetRoutine() = 0;
};
