#pragma once

#include <string>
#include <utility>

#include "platform/MessageWindow.h"
#include "tests/support/TestEnvironment.h"

// Windows of the renderer's title, with the class, visibility and owner a test gives them.
class MessageWindowFixture : public TestEnvironment {
protected:
  static platform::WindowAttributes Attributes(std::u16string className, bool visible = true,
                                               platform::WindowHandle owner = 0) {
    platform::WindowAttributes attributes;
    attributes.className = std::move(className);
    attributes.title = u"Ombrel 12.0";
    attributes.visible = visible;
    attributes.owner = owner;
    return attributes;
  }
};
