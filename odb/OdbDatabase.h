/// @file
/// TObjectDatabase: the application's connection to one database. It owns the
/// driver that does the work, opens and closes the database through it,
/// offers transaction control and keeps track of the datasets made on it, so
/// that closing the database closes them first.
///
/// Datasets, queries and update objects made on a database should be
/// destroyed before the database. One that outlives it (an application class
/// whose members are destroyed in declaration order, say) is detached when
/// the database is destroyed: it no longer refers to the database, and its
/// operations raise EOdbDatabaseNotOpened.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvid/containers/ObjCmp.h"
#include "corvid/containers/ObjRoot.h"

namespace corvid {

class TObjectDataset;
class TObjectUpdate;
class TOdbDriver;
class TUnorderedList;

/// The application's connection to one database, through the driver it owns.
class TObjectDatabase : public TObject {
  CORVID_CLASS(TObjectDatabase, ::corvid::TObject)
 public:
  /// Creates the driver from DriverClass (a TOdbDriver descendant, see
  /// CreateOdbDriver) with DatabaseName. The database is not opened.
  TObjectDatabase(TClass DriverClass, std::string DatabaseName);
  /// Closes the database when it is open (errors while closing are
  /// swallowed), detaches every dataset and update object still made on it,
  /// then frees the dataset list (not the datasets) and the driver.
  ~TObjectDatabase() override;
  TObjectDatabase(const TObjectDatabase&) = delete;
  TObjectDatabase& operator=(const TObjectDatabase&) = delete;

  /// Passes the three strings to the driver's OpenDatabase unchanged. What
  /// they mean depends on the driver (see its header).
  void Open(const std::string& Server, const std::string& User, const std::string& Password);
  /// Closes every open dataset (first to last), then the database. An
  /// exception while a dataset closes ends Close there: the datasets after it
  /// and the database stay open.
  void Close();

  void StartTransaction();
  void Commit();
  void RollBack();

  /// The name given to the constructor.
  const std::string& GetDatabaseName() const;
  bool GetDatabaseOpened() const;
  TOdbDriver* GetDriver() const { return driver_.get(); }

  /// The registered datasets (not owned; compared by identity).
  TUnorderedList& GetDatasets() const { return *datasets_; }
  /// Used by the dataset constructors and destructors.
  void RegisterDataset(TObjectDataset* Dataset);
  void UnregisterDataset(TObjectDataset* Dataset);
  /// Used by the update object's constructor and destructor, so that the
  /// database can detach the update objects that outlive it. They take no
  /// part in Close.
  void RegisterUpdate(TObjectUpdate* Update);
  void UnregisterUpdate(TObjectUpdate* Update);

 private:
  std::unique_ptr<TOdbDriver> driver_;
  std::unique_ptr<TUnorderedList> datasets_;
  std::vector<TObjectUpdate*> updates_;
};

/// Orders object references by their addresses: entries are equal only when
/// they are the same object.
TComparison CompareObjectIdentity(const TObject* Left, const TObject* Right);

}  // namespace corvid
