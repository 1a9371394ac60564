/// @file
/// The root of the object model: TObject, class references (TClass) and the
/// common exception base.
///
/// The library is written around class references: containers remember the
/// class of their elements, the object stream rebuilds objects from a class
/// name, drivers and mappings are created from a class chosen at run time.
/// C++ has no class references, so every class of the system (and every
/// application class that wants to be stored) declares itself once with
/// CORVID_CLASS(Name, Parent). That gives it
///   - StaticClass(): its TClass, a cheap comparable value with Name(),
///     Parent() and InheritsFrom();
///   - ClassType()/ClassName(): the dynamic class of an instance;
///   - construction through the class reference: TClass::Create() (normal
///     construction, then AfterConstruction() so that overrides of the most
///     derived class are reached) and TClass::CreateBlank() (a blank instance
///     for the object stream, see below).
///
/// Blank instances. The object stream creates an instance and lets the
/// class's read procedure fill every field, so no constructor logic may run
/// that the reader would have to undo. A class that does real work in its
/// default constructor declares a constructor taking TBlank; otherwise its
/// default constructor is used. Both may be private: the macro befriends the
/// factory.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

namespace corvid {

class TObject;
class TClass;

/// Tag for constructors that make a blank instance (no logic, no allocation).
struct TBlank {};

/// Static description of one class. One instance per class, created on first
/// use inside StaticClass(), so it is safe to use from static initialisers.
struct ClassInfo {
  const char* name;
  TClass (*parent)();         // null for TObject
  TObject* (*create)();       // normal construction; null when not creatable
  TObject* (*createBlank)();  // blank construction; null when not creatable
};

/// A class reference. Null when default-constructed.
class TClass {
 public:
  constexpr TClass() = default;
  explicit constexpr TClass(const ClassInfo* info) : info_(info) {}

  bool IsNull() const { return info_ == nullptr; }
  explicit operator bool() const { return info_ != nullptr; }

  /// The exact class name, e.g. "TUnorderedList"; empty for a null class.
  std::string_view Name() const { return info_ ? info_->name : std::string_view(); }
  /// The parent class; null for TObject and for a null class.
  TClass Parent() const { return info_ && info_->parent ? info_->parent() : TClass(); }
  /// True when this class is `other` or one of its descendants. Inline for
  /// the usual answer, the class itself: containers and datasets ask for
  /// every object they take.
  bool InheritsFrom(TClass other) const {
    return (info_ != nullptr && info_ == other.info_) || InheritsFromAncestor(other);
  }

  /// Normal construction followed by AfterConstruction(). Null when the class
  /// is abstract or has no accessible default constructor.
  std::unique_ptr<TObject> Create() const;
  /// A blank instance (see the file comment). Null when not creatable.
  std::unique_ptr<TObject> CreateBlank() const;
  bool CanCreate() const { return info_ && info_->create; }
  bool CanCreateBlank() const { return info_ && info_->createBlank; }

  const ClassInfo* Info() const { return info_; }

  friend bool operator==(TClass a, TClass b) { return a.info_ == b.info_; }
  friend bool operator!=(TClass a, TClass b) { return a.info_ != b.info_; }

 private:
  // InheritsFrom's walk up from the parent.
  bool InheritsFromAncestor(TClass other) const;

  const ClassInfo* info_ = nullptr;
};

/// Creates instances for class references. Befriended by CORVID_CLASS so that
/// blank and default constructors may stay private.
struct ClassFactory {
  template <class T>
  static TObject* New() {
    if constexpr (requires { new T(); }) {
      return new T();
    } else {
      return nullptr;
    }
  }
  template <class T>
  static TObject* Blank() {
    if constexpr (requires { new T(TBlank{}); }) {
      return new T(TBlank{});
    } else if constexpr (requires { new T(); }) {
      return new T();
    } else {
      return nullptr;
    }
  }
  template <class T>
  static constexpr auto NewPtr() {
    if constexpr (requires { new T(); })
      return &New<T>;
    else
      return static_cast<TObject* (*)()>(nullptr);
  }
  template <class T>
  static constexpr auto BlankPtr() {
    if constexpr (
        requires { new T(TBlank{}); } || requires { new T(); })
      return &Blank<T>;
    else
      return static_cast<TObject* (*)()>(nullptr);
  }
};

/// Declares a class to the object model. Place it first in the class body;
/// it leaves the access at public.
#define CORVID_CLASS(Name, Parent)                                                   \
 public:                                                                             \
  static ::corvid::TClass StaticClass() {                                            \
    static const ::corvid::ClassInfo info{#Name, &Parent::StaticClass,               \
                                          ::corvid::ClassFactory::NewPtr<Name>(),    \
                                          ::corvid::ClassFactory::BlankPtr<Name>()}; \
    return ::corvid::TClass(&info);                                                  \
  }                                                                                  \
  ::corvid::TClass ClassType() const override {                                      \
    return StaticClass();                                                            \
  }                                                                                  \
  friend struct ::corvid::ClassFactory;

/// The root of every class of the system.
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = default;
  TObject& operator=(const TObject&) = default;
  virtual ~TObject() = default;

  static TClass StaticClass();
  virtual TClass ClassType() const { return StaticClass(); }
  std::string_view ClassName() const { return ClassType().Name(); }
  bool InheritsFrom(TClass c) const { return ClassType().InheritsFrom(c); }
  /// True when this object is an instance of T or of a descendant of T.
  template <class T>
  bool Is() const {
    return ClassType().InheritsFrom(T::StaticClass());
  }

  /// Second construction step, run by TClass::Create() after the most derived
  /// constructor has finished, so virtual calls reach the final overrides.
  virtual void AfterConstruction() {}
};

/// The common exception base: one message string and a detail. Every
/// exception class of the system derives directly from it and is declared
/// with CORVID_EXCEPTION, which also makes Raise() throw the dynamic type, so
/// that an instance created from a class reference can be thrown as itself.
///
/// The message (what()) is the full text in the library's fixed layout. The
/// detail is the part of it that names what failed: the index of a key
/// violation, the class that is not registered, the record that could not be
/// read. It is empty when the condition names nothing. FormatException
/// (util/OdbMisc.h) combines class name and detail into one readable line.
class Exception : public TObject, public std::exception {
  CORVID_CLASS(Exception, ::corvid::TObject)
 public:
  Exception() = default;
  explicit Exception(std::string message) : message_(std::move(message)) {}
  Exception(std::string message, std::string detail)
      : message_(std::move(message)), detail_(std::move(detail)) {}

  /// The full message, as what() returns it.
  const std::string& Message() const { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  /// What the failure names (an index, a class, a record); may be empty.
  const std::string& Detail() const { return detail_; }
  void SetDetail(std::string detail) { detail_ = std::move(detail); }
  const char* what() const noexcept override { return message_.c_str(); }

  /// Throws a copy of this exception as its dynamic class.
  [[noreturn]] virtual void Raise() const { throw *this; }

 private:
  std::string message_;
  std::string detail_;
};

/// Creates an exception of class `c` (which must inherit from Exception) with
/// `message` and throws it as its own class.
[[noreturn]] void RaiseExceptionOfClass(TClass c, std::string message);
/// The same with a detail (see Exception::Detail).
[[noreturn]] void RaiseExceptionOfClass(TClass c, std::string message, std::string detail);

/// Declares an exception class deriving directly from Exception.
#define CORVID_EXCEPTION(Name)                                \
  class Name : public ::corvid::Exception {                   \
    CORVID_CLASS(Name, ::corvid::Exception)                   \
    using ::corvid::Exception::Exception;                     \
    [[noreturn]] void Raise() const override { throw *this; } \
  };

}  // namespace corvid
