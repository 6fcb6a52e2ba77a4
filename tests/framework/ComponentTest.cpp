#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "framework/Component.h"

namespace {

// Records its own destruction and its after-load notification in a shared log.
class TProbe : public TComponent {
public:
    TProbe(TComponent* AOwner, std::string AName, std::vector<std::string>& ALog) : TComponent(AOwner), log_(ALog)
    {
        SetName(std::move(AName));
    }
    ~TProbe() override
    {
        DestroyComponents();  // they may still call into this object
        log_.push_back("destroy " + Name());
    }

    std::string ClassName() const override { return "TProbe"; }

    // Run inside FinishLoading, after the base has ended the loading state.
    std::function<void()> OnLoaded;
    bool LoadingDuringNotification = true;

protected:
    void FinishLoading() override
    {
        TComponent::FinishLoading();
        LoadingDuringNotification = Loading();
        log_.push_back("loaded " + Name());
        if (OnLoaded)
            OnLoaded();
    }

private:
    std::vector<std::string>& log_;
};

TEST(Component, OwnerKeepsItsComponentsInCreationOrder)
{
    std::vector<std::string> log;
    TProbe form(nullptr, "Form1", log);
    auto* timer = new TProbe(&form, "Timer1", log);
    auto* port = new TProbe(&form, "ComPort1", log);
    auto* inner = new TProbe(port, "Group1", log);

    EXPECT_EQ(form.Owner(), nullptr);
    EXPECT_EQ(timer->Owner(), &form);
    EXPECT_EQ(inner->Owner(), port);
    EXPECT_EQ(form.Components(), (std::vector<TComponent*>{timer, port}));
    EXPECT_EQ(port->Components(), (std::vector<TComponent*>{inner}));
    EXPECT_EQ(port->Name(), "ComPort1");
}

TEST(Component, DestroyingTheOwnerDestroysWhatItOwnsLastCreatedFirst)
{
    std::vector<std::string> log;
    {
        TProbe form(nullptr, "Form1", log);
        new TProbe(&form, "Timer1", log);
        auto* port = new TProbe(&form, "ComPort1", log);
        new TProbe(port, "Group1", log);
        new TProbe(&form, "Button1", log);
    }
    EXPECT_EQ(log, (std::vector<std::string>{"destroy Button1", "destroy Group1", "destroy ComPort1", "destroy Timer1",
                                             "destroy Form1"}));
}

TEST(Component, OwnedComponentsStillSeeTheirOwnerWhileTheyAreDestroyed)
{
    std::vector<std::string> log;
    struct TPort : TComponent {
        using TComponent::TComponent;
        std::function<void()> OnDestroy;
        ~TPort() override { OnDestroy(); }
        std::string ClassName() const override { return "TPort"; }
    };
    struct TForm : TComponent {
        std::vector<std::string>& log;
        TPort* port = new TPort(this);
        explicit TForm(std::vector<std::string>& ALog) : TComponent(nullptr), log(ALog)
        {
            port->OnDestroy = [this] { log.push_back("port closed, form " + ClassName()); };
        }
        ~TForm() override { DestroyComponents(); }
        std::string ClassName() const override { return "TForm"; }
    };
    delete new TForm(log);
    EXPECT_EQ(log, (std::vector<std::string>{"port closed, form TForm"}));
}

TEST(Component, AComponentDestroyedFirstLeavesItsOwner)
{
    std::vector<std::string> log;
    TProbe form(nullptr, "Form1", log);
    auto* timer = new TProbe(&form, "Timer1", log);
    auto* port = new TProbe(&form, "ComPort1", log);
    delete timer;
    EXPECT_EQ(form.Components(), (std::vector<TComponent*>{port}));
    EXPECT_EQ(log, (std::vector<std::string>{"destroy Timer1"}));
}

TEST(Component, LoadingStateAndAfterLoadNotification)
{
    std::vector<std::string> log;
    TProbe form(nullptr, "Form1", log);
    auto* timer = new TProbe(&form, "Timer1", log);
    auto* port = new TProbe(&form, "ComPort1", log);
    auto* group = new TProbe(port, "Group1", log);
    EXPECT_FALSE(form.Loading());

    form.BeginLoading();
    for (TComponent* c : std::vector<TComponent*>{&form, timer, port, group})
        EXPECT_TRUE(c->Loading()) << c->Name();
    EXPECT_TRUE(log.empty());

    form.EndLoading();
    for (TComponent* c : std::vector<TComponent*>{&form, timer, port, group})
        EXPECT_FALSE(c->Loading()) << c->Name();
    // Owned components first, in creation order, each after its own; the owner last.
    EXPECT_EQ(log, (std::vector<std::string>{"loaded Timer1", "loaded Group1", "loaded ComPort1", "loaded Form1"}));
    // A component is no longer loading when its notification runs (it may open a port).
    EXPECT_FALSE(port->LoadingDuringNotification);
}

TEST(Component, ANotificationMayDestroyOrCreateComponents)
{
    std::vector<std::string> log;
    TProbe form(nullptr, "Form1", log);
    auto* first = new TProbe(&form, "First", log);
    auto* doomed = new TProbe(&form, "Doomed", log);
    new TProbe(&form, "Last", log);
    form.BeginLoading();
    first->OnLoaded = [&] {
        delete doomed;
        new TProbe(&form, "Created", log);
    };

    form.EndLoading();

    EXPECT_EQ(log, (std::vector<std::string>{"loaded First", "destroy Doomed", "loaded Last", "loaded Form1"}));
    ASSERT_EQ(form.Components().size(), 3u);
    EXPECT_EQ(form.Components().back()->Name(), "Created");
    EXPECT_FALSE(form.Components().back()->Loading());
}

}  // namespace
