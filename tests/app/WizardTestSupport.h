// The Qt wizard as the program builds it, over recording services, a fake registry and a store
// factory of the test's choosing.
#pragma once

#include <QApplication>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "app/Look.h"
#include "app/QtViews.h"
#include "platform/StoreSession.h"
#include "support/WizardFakes.h"
#include "wizard/Wizard.h"

namespace tarvelle::app::testing {

template <typename T>
T* Child(QWidget& window, const char* name) {
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) qFatal("no control %s", name);
    return child;
}

struct QtWizard {
    QtWizard(platform::StoreSessionFactory& sessions, std::optional<std::string> commandLine)
        : wizard(services, sessions, registry, views) {
        registry.commandLine = std::move(commandLine);
    }
    fakes::RecordingServices services;
    fakes::FakeRegistry registry;
    QtViews views;
    wizard::Wizard wizard;
};

}  // namespace tarvelle::app::testing
