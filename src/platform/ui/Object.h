#pragma once

#include <memory>

namespace platform {

// The root of everything an interface description can create: views, view controllers,
// application delegates. Objects are always owned by shared pointers (made by their
// class's create()), so they can hand themselves out.
class Object : public std::enable_shared_from_this<Object> {
public:
    virtual ~Object() = default;

    // Called once after an interface description has created the object and set all its
    // outlets.
    virtual void awakeFromNib() { }

    template <class T> std::shared_ptr<T> sharedAs() { return std::dynamic_pointer_cast<T>(shared_from_this()); }
    template <class T> std::weak_ptr<T> weakAs() { return sharedAs<T>(); }

protected:
    Object() = default;
};

} // namespace platform
