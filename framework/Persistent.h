#pragma once
// TPersistent: an object that can copy itself into another object of its own
// class. Copying into an object of any other class, or from no object at all,
// fails with the conversion error "Cannot assign a %s to a %s".

#include <string>

class TPersistent {
public:
    virtual ~TPersistent() = default;

    // Copies Source into this object: Source->AssignTo(this). A null Source
    // fails with "Cannot assign a nil to a <this class>".
    virtual void Assign(const TPersistent* Source);

    // The class name used in messages ("TComParity", "TComPort", ...).
    virtual std::string ClassName() const = 0;

protected:
    TPersistent() = default;
    TPersistent(const TPersistent&) = default;
    TPersistent& operator=(const TPersistent&) = default;

    // Copies this object into Dest. The base knows no class: it fails.
    virtual void AssignTo(TPersistent* Dest) const;

    // Raises the conversion error naming Source (or nil) and Dest (or nil).
    [[noreturn]] static void AssignError(const TPersistent* Source, const TPersistent* Dest);
};
