#include "framework/Component.h"

#include <algorithm>

TComponent::TComponent(TComponent* AOwner) : owner_(AOwner)
{
    if (owner_ != nullptr)
        owner_->Insert(this);
}

TComponent::~TComponent()
{
    DestroyComponents();
    if (owner_ != nullptr)
        owner_->Remove(this);
}

void TComponent::DestroyComponents()
{
    // Owned components go last-created first, each removing itself.
    while (!components_.empty()) {
        TComponent* child = components_.back();
        delete child;  // its destructor calls Remove
    }
}

void TComponent::Insert(TComponent* child) { components_.push_back(child); }

void TComponent::Remove(TComponent* child)
{
    auto it = std::find(components_.begin(), components_.end(), child);
    if (it != components_.end())
        components_.erase(it);
    child->owner_ = nullptr;
}

void TComponent::BeginLoading()
{
    loading_ = true;
    for (TComponent* child : components_)
        child->BeginLoading();
}

void TComponent::EndLoading()
{
    // Copy: a notification may create or destroy components. A component
    // destroyed (or released) by an earlier notification is no longer in the
    // list and is skipped, never touched.
    const std::vector<TComponent*> children = components_;
    for (TComponent* child : children) {
        if (std::find(components_.begin(), components_.end(), child) == components_.end())
            continue;
        if (child->loading_)
            child->EndLoading();
    }
    FinishLoading();
}

void TComponent::FinishLoading() { loading_ = false; }
