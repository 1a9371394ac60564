/// @file
/// TObjectFile: an object dataset with record-oriented, indexed access. It
/// inserts, updates and deletes objects of its mapped class, selects its
/// current index by name, finds objects by key on that index, remembers and
/// returns to positions through bookmarks, locks records, counts and packs.
/// When the driver asks for it, the object file itself refuses a second
/// object with the same primary or unique key.
///
/// Two forms:
///  - with a mapping class: TObjectFile(Database, FileName, MappingClass);
///  - the version-1 form, in which a descendant of TObjectFile defines the
///    fields, the indices and the copying itself (DefineFields,
///    DefineIndices, UpdateFieldsFromObj, UpdateObjFromFields) and an
///    internal adapter mapping forwards the mapping's calls to it. Its
///    constructor takes the stored class and the tag version1Form:
///
///      class TPersonFile : public corvid::TObjectFile {
///       public:
///        TPersonFile(corvid::TObjectDatabase& Db, std::string Name)
///            : TObjectFile(Db, std::move(Name), TPerson::StaticClass(),
///                          corvid::version1Form) {}
///        void DefineFields() override { AddField("Name", corvid::oftString, 31); }
///        ...
///      };
///
///    The fields and indices are defined in a second step, because the base
///    constructor cannot reach the descendant's overrides: by
///    AfterConstruction() (which TClass::Create runs), or at the latest by
///    the first CreateFile, Open or OpenExclusive.
///
/// Typical use:
///   file.SetCurrentObj(&obj); file.Insert();          // store a copy
///   file.SetIndexName("ByName"); file.SetCurrentObj(&key); file.FindExact();
///   auto* p = file.GetCurrentObj(); ...change p...; file.Update();
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvid/odb/OdbDataset.h"
#include "corvid/odb/OdbDriver.h"

namespace corvid {

class TObjectFile;
class TObjectStream;
class TStreamableInterface;
class TVersion1ORMapping;

/// Tag selecting the version-1 constructor of TObjectFile.
struct TVersion1Form {};
inline constexpr TVersion1Form version1Form{};

/// A remembered position of an object file: the index current when it was
/// taken and the driver's bookmark. The caller owns it; it must be freed while
/// its object file is still open (freeing it releases the driver's bookmark
/// under the file's handle).
class TOdbBookmark : public TObject {
  CORVID_CLASS(TOdbBookmark, ::corvid::TObject)
 public:
  /// Takes the file's current index name and the driver's bookmark.
  explicit TOdbBookmark(TObjectFile& ObjectFile);
  /// Frees the driver's bookmark with the file's handle at that time; errors
  /// (a file closed meanwhile) are swallowed.
  ~TOdbBookmark() override;
  TOdbBookmark(const TOdbBookmark&) = delete;
  TOdbBookmark& operator=(const TOdbBookmark&) = delete;

  const std::string& GetIndexName() const { return indexName_; }
  TObjectFile& GetObjectFile() const { return *objectFile_; }
  TOdbBookmarkData GetBookmarkData() const { return bookmarkData_; }

 private:
  std::string indexName_;
  TObjectFile* objectFile_;
  TOdbBookmarkData bookmarkData_ = nullptr;
};

/// An object dataset with record-oriented, indexed access (see the file comment).
class TObjectFile : public TObjectDataset {
  CORVID_CLASS(TObjectFile, ::corvid::TObjectDataset)
 public:
  /// With a mapping class: raises EOdbUnsupportedAccessMethod ("0") when the
  /// driver lacks record access; nothing is created then.
  TObjectFile(TObjectDatabase& Database, std::string FileName, TClass MappingClass);
  /// The version-1 form: ObjectType is the class of the stored objects. No
  /// access-method check.
  TObjectFile(TObjectDatabase& Database, std::string FileName, TClass ObjectType, TVersion1Form);
  ~TObjectFile() override;

  /// Version-1 form: defines the fields and indices through the descendant's
  /// overrides (once). Nothing for the mapping-class form.
  void AfterConstruction() override;

  /// Version-1 form only: the descendant's definitions and copies. All do
  /// nothing by default.
  virtual void DefineFields() {}
  virtual void DefineIndices() {}
  virtual void UpdateFieldsFromObj(const TObject* Obj) { (void)Obj; }
  virtual void UpdateObjFromFields(TObject* Obj) { (void)Obj; }

  /// The current object becomes a deep copy of Obj (through the object
  /// stream), or none for null. The caller keeps Obj. EInvalidObjectType for
  /// an object of another class (the current object is unchanged then).
  void SetCurrentObj(const TObject* Obj);
  TOdbField* AddField(std::string Name, TOdbFieldType FieldType, std::uint16_t Size = 41);
  TOdbIndex* AddIndex(std::string Name, TOdbIndexAttributes Attributes,
                      const std::vector<std::string>& FieldNames);
  void CreateFile();
  void DeleteFile();
  /// Like Open, with access that excludes other users (when the driver can).
  void OpenExclusive();

  /// Stores the current object as a new record; the file stays on it and the
  /// current object receives auto-increment values. EOdbKeyViolation (index
  /// name) for a duplicate key: nothing is written, index and position are
  /// restored.
  void Insert();
  /// Stores the current object over the current record.
  void Update();
  /// Deletes the current record; the record the driver moves to becomes
  /// current (none when the file is now empty).
  void Delete();

  std::string GetIndexName();
  /// Changes the driver's current index when Name differs (letter case
  /// counts); neither the current object nor the position change.
  void SetIndexName(const std::string& Name);
  /// The mapping's definition of the driver's current index;
  /// EOdbIndexDoesNotExist with its name when the mapping has none.
  TOdbIndex* GetCurrentIndex();
  /// The current object is the key on the current index. False at once
  /// without a current object; on a match the stored object becomes current,
  /// otherwise the key object stays.
  bool FindExact();
  /// Moves to the record whose key is nearest (the first not below the key,
  /// or the last) and reloads it. Nothing without a current object.
  void FindNearest();

  /// The caller owns the bookmark.
  std::unique_ptr<TOdbBookmark> GetBookmark();
  /// Returns to Bookmark (restoring its index) and reloads the object. The
  /// second form frees the bookmark afterwards (also when the return fails).
  void GotoBookmark(TOdbBookmark& Bookmark);
  void GotoBookmark(std::unique_ptr<TOdbBookmark> Bookmark);

  std::int32_t GetObjectCount();
  void LockCurrent();
  void UnLockCurrent();
  void Pack();

  /// The duplicate-key check: for each index of Indices, in order, raises
  /// EOdbKeyViolation with its name when the driver finds a record with the
  /// key in Fields. Index and position are restored afterwards in any case.
  /// (Update runs the same check but does not count the record it rewrites.)
  void CheckForDuplicate(TUnorderedList& Indices, TUnorderedList& Fields);

 protected:
  bool UsesVersion1Adapter() const override { return adapter_ != nullptr; }
  void EnsureMappingDefined() override;
  void AfterDriverOpen() override;

 private:
  /// CheckForDuplicate; with ExceptCurrent a record found that is the one the
  /// driver was on at the start (same stored image) is no duplicate.
  void SearchDuplicates(TUnorderedList& Indices, TUnorderedList& Fields, bool ExceptCurrent);
  /// The stored image of the driver's current record.
  std::string CurrentImage();
  /// Completes the version-1 construction once.
  void DefineVersion1();
  /// Writes the image of GetCurrentObj into Stream (emptied first) through
  /// Objects, an object stream over Stream, then runs BeforeObjectPost;
  /// raises EOdbObjectFileNotPositioned.
  void WriteImage(TMemoryStream& Stream, TObjectStream& Objects);
  /// Insert with the image written into Stream through Objects.
  void InsertWith(TMemoryStream& Stream, TObjectStream& Objects);
  /// Update with the image written into Stream through Objects.
  void UpdateWith(TMemoryStream& Stream, TObjectStream& Objects);

  TVersion1ORMapping* adapter_ = nullptr;  // the mapping, in the version-1 form
  bool version1Defined_ = false;
  // Scratch streams kept between records, so that inserts, updates and
  // SetCurrentObj neither allocate their streams per record nor look the
  // class up in the registry again. imageBusy_ marks the image stream in
  // use: an insert or update started from one of its own hooks takes
  // streams of its own.
  std::unique_ptr<TMemoryStream> imageBuffer_;
  std::unique_ptr<TObjectStream> imageObjects_;
  bool imageBusy_ = false;
  std::unique_ptr<TMemoryStream> copyBuffer_;
  std::unique_ptr<TObjectStream> copyObjects_;
  const TStreamableInterface* copyEntry_ = nullptr;  // the last class SetCurrentObj copied
};

}  // namespace corvid
