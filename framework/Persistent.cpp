#include "framework/Persistent.h"

#include "framework/Exception.h"
#include "framework/Format.h"
#include "framework/Translation.h"

void TPersistent::Assign(const TPersistent* Source)
{
    if (Source == nullptr)
        AssignError(nullptr, this);
    Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest) const { AssignError(this, Dest); }

void TPersistent::AssignError(const TPersistent* Source, const TPersistent* Dest)
{
    const std::string from = Source ? Source->ClassName() : std::string("nil");
    const std::string to = Dest ? Dest->ClassName() : std::string("nil");
    throw EConvertError(FormatText(TranslateResource("Cannot assign a %s to a %s"), {from, to}));
}
