/// @file
/// TObjectDataset: an open set of stored objects of one mapped class with a
/// current object. It binds a mapping to a database, opens and closes its
/// storage through the driver under a handle, moves through the objects and
/// keeps a private copy of the object at the current position, rebuilt from
/// its stream image. Base of TObjectFile (record access) and TObjectQuery
/// (the result of a select statement).
///
/// Ownership: the dataset owns its mapping and its current object; it does
/// not own its database, which should outlive it. A dataset whose database
/// is destroyed first is detached by it: closed, no longer referring to the
/// database, and every operation that needs the database or its driver
/// raises EOdbDatabaseNotOpened; its mapping and current object stay. The
/// object returned by GetCurrentObj stays valid until the dataset positions
/// again, is given a new current object or is destroyed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "corvid/containers/ObjRoot.h"
#include "corvid/odb/OdbField.h"
#include "corvid/odb/OdbIndex.h"

namespace corvid {

class TMemoryStream;
class TObjectStream;
class TObjectDatabase;
class TOdbDriver;
class TORMapping;
class TUnorderedList;

/// An open set of stored objects of one mapped class with a current object (see the file comment).
class TObjectDataset : public TObject {
  CORVID_CLASS(TObjectDataset, ::corvid::TObject)
 public:
  /// Stores Database and DatasetName, creates the mapping from MappingClass
  /// (CreateMapping: fields and indices defined) and registers the dataset
  /// with Database.
  TObjectDataset(TObjectDatabase& Database, std::string DatasetName, TClass MappingClass);
  /// Closes the dataset when open (errors swallowed), unregisters it, frees
  /// the mapping and the current object.
  ~TObjectDataset() override;
  TObjectDataset(const TObjectDataset&) = delete;
  TObjectDataset& operator=(const TObjectDataset&) = delete;

  /// Data hooks. By default each calls the mapping's hook of the same name;
  /// for an object file in the version-1 form (whose adapter mapping calls
  /// these hooks) they do nothing.
  virtual void BeforeInsert();
  virtual void AfterInsert();
  virtual void BeforeUpdate();
  virtual void AfterUpdate();
  virtual void BeforeDelete();
  virtual void AfterDelete();
  virtual void BeforeObjectPost(TMemoryStream& Stream);
  virtual void AfterObjectRead(TMemoryStream& Stream);
  /// Called by Open, Close and TObjectFile::OpenExclusive; do nothing.
  virtual void BeforeOpen() {}
  virtual void AfterOpen() {}
  virtual void BeforeClose() {}
  virtual void AfterClose() {}

  TClass GetObjectType() const;
  TUnorderedList& GetFields() const;
  TUnorderedList& GetIndices() const;
  /// Both raise EOdbDatabaseNotOpened once the dataset is detached.
  TOdbDriver& GetDriver() const;
  TObjectDatabase& GetDatabase() const;
  TORMapping& GetMapping() const { return *mapping_; }
  const std::string& GetDatasetName() const { return datasetName_; }
  std::int32_t GetHandle() const { return handle_; }
  bool GetOpened() const { return handle_ != 0; }
  TOdbField* FieldByName(std::string_view Name) const;

  /// Creates the storage (the dataset may be closed).
  void CreateDataset();
  /// Closes the dataset when open, then removes the storage.
  void DeleteDataset();
  /// When closed: BeforeOpen, the driver's OpenDataset, AfterOpen; an object
  /// file then makes its mapping's first index current; then FindFirst.
  void Open();
  /// When open: BeforeClose, the driver's CloseDataset, AfterClose. The
  /// current object stays.
  void Close();

  /// Move along the current order; on success the current object is
  /// reloaded, otherwise it stays as it was.
  bool FindFirst();
  bool FindLast();
  bool FindNext();
  bool FindPrior();
  bool IsEmpty();

  /// The dataset's copy of the current object (it keeps ownership); raises
  /// EOdbObjectFileNotPositioned when there is none.
  TObject* GetCurrentObj() const;
  /// True when there is a current object.
  bool HasCurrentObj() const { return currentObj_ != nullptr; }
  /// Rebuilds the current object from the driver's current record:
  /// GetCurrent, AfterObjectRead on the image, read the object, then the
  /// fields are filled from it. When the driver fails the current object is
  /// unchanged; when the image cannot be read it is null.
  void ReloadCurrent();
  /// Raises EInvalidObjectType unless Obj is an instance of GetObjectType()
  /// or of a descendant.
  void CheckObjectType(const TObject* Obj) const;

  /// Fill List (ownership switched off and cleared first) with the mapping's
  /// primary and unique indices in definition order; the second only with
  /// those whose key differs between OldFields and NewFields under the
  /// index's own comparison (letter case ignored on an iaCaseInsensitive
  /// index).
  void GetAllUniqueIndices(TUnorderedList& List) const;
  void GetModifiedUniqueIndices(TUnorderedList& List, TUnorderedList& OldFields,
                                TUnorderedList& NewFields) const;

  /// Called by the database's destructor: forgets the database (and the
  /// handle, which goes with the driver).
  void DetachDatabase();

 protected:
  /// True for an object file bound to the version-1 adapter mapping.
  virtual bool UsesVersion1Adapter() const { return false; }
  /// Called by Open, OpenExclusive and CreateDataset before the driver sees
  /// the mapping; the version-1 object file defines its fields here.
  virtual void EnsureMappingDefined() {}
  /// Called by Open after the driver opened the storage; TObjectFile makes
  /// its mapping's first index current here.
  virtual void AfterDriverOpen() {}
  /// Replaces the current object (null clears it).
  void SetCurrentObjPtr(std::unique_ptr<TObject> Obj) { currentObj_ = std::move(Obj); }
  void SetHandle(std::int32_t Handle) { handle_ = Handle; }

 private:
  std::int32_t handle_ = 0;
  std::unique_ptr<TObject> currentObj_;
  TObjectDatabase* database_;
  std::unique_ptr<TORMapping> mapping_;
  std::string datasetName_;
  /// The memory stream ReloadCurrent reads images into and the object stream
  /// over it, kept between calls so that walking a file neither allocates
  /// per record nor looks the class up in the registry again (the object
  /// stream remembers its last classes).
  std::unique_ptr<TMemoryStream> readBuffer_;
  std::unique_ptr<TObjectStream> readObjects_;
};

}  // namespace corvid
