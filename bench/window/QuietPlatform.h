#pragma once

#include "platform/InternetSettingsNotifier.h"
#include "platform/MessageDialog.h"
#include "platform/ProcessStarter.h"
#include "platform/ProgramTerminator.h"
#include "platform/SaveDialog.h"
#include "platform/ScreenInfo.h"
#include "platform/Sleeper.h"

#include <QSize>
#include <QStringList>

namespace kestrovan::bench {

// Platform services that show nothing and never block, for driving the window in a benchmark.
// Messages are kept so that a run can tell why the window gave up.
class QuietMessageDialog final : public MessageDialog {
public:
    QuietMessageDialog() = default;
    MessageAnswer Show(const QString& text, const std::optional<QString>& /*title*/, MessageIcon /*icon*/,
                       MessageButtons /*buttons*/) override {
        shown_ << text;
        return MessageAnswer::Ok;
    }
    const QStringList& Shown() const { return shown_; }

private:
    QStringList shown_;
};

class QuietSaveDialog final : public SaveDialog {
public:
    QuietSaveDialog() = default;
    std::optional<QString> ShowSave(const SaveDialogOptions& /*options*/) override { return std::nullopt; }
};

// The pause after a speed test comes after the delay has been taken; skipping it changes no figure.
class NoSleeper final : public Sleeper {
public:
    NoSleeper() = default;
    void Sleep(int /*milliseconds*/) override {}
};

class NoProcessStarter final : public ProcessStarter {
public:
    NoProcessStarter() = default;
    bool OpenInWebBrowser(const QString& /*url*/) override { return false; }
};

class CountingTerminator final : public ProgramTerminator {
public:
    CountingTerminator() = default;
    void EndProgram() override { ++ends_; }
    int Ends() const { return ends_; }

private:
    int ends_ = 0;
};

class FixedScreen final : public ScreenInfo {
public:
    FixedScreen() = default;
    QSize ScreenSize() const override { return {1920, 1080}; }
};

// The page loaders read the registry at each load, so no notification is needed.
class NoInternetSettings final : public InternetSettingsNotifier {
public:
    NoInternetSettings() = default;
    void SettingsChanged() override {}
};

} // namespace kestrovan::bench
