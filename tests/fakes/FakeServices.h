#pragma once

#include "platform/InternetSettingsNotifier.h"
#include "platform/ProcessStarter.h"
#include "platform/ProgramTerminator.h"
#include "platform/ScreenInfo.h"
#include "platform/Sleeper.h"

#include <QStringList>

#include <functional>
#include <vector>

namespace kestrovan::test {

// Records pauses instead of blocking; an optional hook runs in place of the pause.
class FakeSleeper final : public Sleeper {
public:
    FakeSleeper() = default;
    void Sleep(int milliseconds) override {
        pauses_.push_back(milliseconds);
        if (hook_) {
            hook_(milliseconds);
        }
    }
    void OnSleep(std::function<void(int)> hook) { hook_ = std::move(hook); }
    const std::vector<int>& Pauses() const { return pauses_; }

private:
    std::vector<int> pauses_;
    std::function<void(int)> hook_;
};

class FakeProcessStarter final : public ProcessStarter {
public:
    FakeProcessStarter() = default;
    bool OpenInWebBrowser(const QString& url) override {
        opened_ << url;
        return succeeds_;
    }
    void SetSucceeds(bool succeeds) { succeeds_ = succeeds; }
    const QStringList& Opened() const { return opened_; }

private:
    QStringList opened_;
    bool succeeds_ = true;
};

// Records the end of the program and returns; the code that ended it returns at once itself.
class FakeTerminator final : public ProgramTerminator {
public:
    FakeTerminator() = default;
    void EndProgram() override { ++ends_; }
    int Ends() const { return ends_; }

private:
    int ends_ = 0;
};

class FakeScreen final : public ScreenInfo {
public:
    explicit FakeScreen(QSize size = {1920, 1080}) : size_(size) {}
    QSize ScreenSize() const override { return size_; }
    void SetSize(QSize size) { size_ = size; }

private:
    QSize size_;
};

class FakeInternetSettings final : public InternetSettingsNotifier {
public:
    FakeInternetSettings() = default;
    void SettingsChanged() override {
        ++notifications_;
        if (hook_) {
            hook_();
        }
    }
    void OnNotify(std::function<void()> hook) { hook_ = std::move(hook); }
    int Notifications() const { return notifications_; }
    void Reset() { notifications_ = 0; }

private:
    int notifications_ = 0;
    std::function<void()> hook_;
};

} // namespace kestrovan::test
