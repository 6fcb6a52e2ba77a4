#pragma once
// TComponent: a persistent object with an owner and a name. It destroys the
// components it owns when it is destroyed, is in a loading state while a
// stored form description is read into it, and receives the after-load
// notification (FinishLoading) when reading has finished.
//
// A component with an owner is created with new: the owner deletes it.

#include <string>
#include <vector>

#include "framework/Persistent.h"

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;

    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& AName) { name_ = AName; }

    // The components this one owns, in the order they were created.
    const std::vector<TComponent*>& Components() const { return components_; }

    // True while a stored form description is being read in.
    bool Loading() const { return loading_; }

    // Reading a stored form description: BeginLoading puts this component and
    // everything it owns into the loading state; the properties are then set;
    // EndLoading sends the after-load notification to the owned components
    // (in creation order) and then to this one.
    void BeginLoading();
    void EndLoading();

    std::string ClassName() const override { return "TComponent"; }

protected:
    // Destroys the owned components now, last created first. The base
    // destructor does this too, but only after the destructors of derived
    // classes have run: a class whose owned components may call back into it
    // while they are destroyed (a handler of a closing port) calls
    // DestroyComponents first in its own destructor.
    void DestroyComponents();

    // The after-load notification. The base ends the loading state; an
    // override calls it first.
    virtual void FinishLoading();

private:
    void Insert(TComponent* child);
    void Remove(TComponent* child);

    TComponent* owner_;
    std::string name_;
    std::vector<TComponent*> components_;
    bool loading_ = false;
};
