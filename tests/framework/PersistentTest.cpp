#include <gtest/gtest.h>

#include <string>

#include "framework/Exception.h"
#include "framework/Persistent.h"

namespace {

// A persistent class that knows how to copy itself, and one derived from it
// that adds a field, as the serial component's setting groups do.
class TPoint : public TPersistent {
public:
    int X = 0;
    int Y = 0;
    std::string ClassName() const override { return "TPoint"; }

protected:
    void AssignTo(TPersistent* Dest) const override
    {
        if (auto* point = dynamic_cast<TPoint*>(Dest)) {
            point->X = X;
            point->Y = Y;
            return;
        }
        TPersistent::AssignTo(Dest);
    }
};

class TLabel : public TPersistent {
public:
    std::string Text;
    std::string ClassName() const override { return "TLabel"; }
};

std::string AssignFailure(TPersistent& dest, const TPersistent* source)
{
    try {
        dest.Assign(source);
    } catch (const EConvertError& e) {
        return e.Message();
    }
    return "no EConvertError";
}

TEST(Persistent, CopiesIntoAnObjectOfItsClass)
{
    TPoint source;
    source.X = 3;
    source.Y = -7;
    TPoint dest;
    dest.Assign(&source);
    EXPECT_EQ(dest.X, 3);
    EXPECT_EQ(dest.Y, -7);

    dest.Assign(&dest);  // onto itself: unchanged
    EXPECT_EQ(dest.X, 3);
    EXPECT_EQ(dest.Y, -7);
}

TEST(Persistent, OtherClassesAndNilFailWithTheConversionError)
{
    TPoint point;
    point.X = 1;
    TLabel label;
    label.Text = "kept";
    struct Case {
        const char* what;
        TPersistent& dest;
        const TPersistent* source;
        const char* message;
    };
    const Case cases[] = {
        {"point into label", label, &point, "Cannot assign a TPoint to a TLabel"},
        {"label into point", point, &label, "Cannot assign a TLabel to a TPoint"},
        {"label into label: TLabel cannot copy itself", label, &label, "Cannot assign a TLabel to a TLabel"},
        {"nil into point", point, nullptr, "Cannot assign a nil to a TPoint"},
        {"nil into label", label, nullptr, "Cannot assign a nil to a TLabel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(AssignFailure(c.dest, c.source), c.message);
    }
    EXPECT_EQ(point.X, 1);
    EXPECT_EQ(label.Text, "kept");
}

}  // namespace
