// AdoControl: the ADO control, one object whose members are defined across
// the library's folders: its lifecycle, labels, properties and diagnostic
// log here in control/; the handle-based database methods in ado/; the
// object helpers and event forwarding in adoobjects/; the keyed store's
// members in collection/. The dispatch table in type_library.cpp binds each
// DISPID to one of these member functions.
// Thread rule: an instance is created, called and destroyed on one apartment
// thread; calls may nest on that thread (a method can be re-entered while it
// waits on ADO), nothing locks. The control owns its handle table, its store
// and its event sources; it is released by reference count.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/automation/control_site.h"
#include "tarneltools/ado/handle_table.h"
#include "tarneltools/ado/statement_tracking.h"
#include "tarneltools/adoobjects/event_forwarding.h"
#include "tarneltools/collection/keyed_store.h"
#include "tarneltools/control/control_base.h"

namespace tarnel {

// Where AdoGetField found a field of a platform recordset by its name
// (ado/recordset_navigation.cpp): the entry counts only while that Field
// object is still the field at that column of the recordset's Fields.
struct AdoFieldLookup {
  Dispatch* recordset = nullptr;  // identity only; no reference is held
  UString name;
  ComPtr<Dispatch> fields;  // the recordset's Fields collection
  std::size_t column = 0;
  ComPtr<Dispatch> field;
  // The field's Type, Precision and NumericScale, which belong to the
  // column and so stay what they were while the entry counts.
  std::int32_t type = 0;
  std::int32_t precision = 0;
  std::int32_t scale = 0;
};

class AdoControl final : public ControlBase<AdoControl> {
 public:
  static const TypeInfo& Type();
  static const CoClassInfo* Class();
  // A new instance, initialised (UserControl_Initialize has run).
  static ComPtr<AdoControl> Create();

  // _ADO properties.
  UString Version();
  std::int32_t GetDebugMode();
  void LetDebugMode(std::int32_t& value);
  std::int32_t Connections();

  // Event sources (adoobjects/event_sources.cpp).
  ComPtr<Dispatch> GetmoConnectionEventSource();
  void SetmoConnectionEventSource(Dispatch* value);
  ComPtr<Dispatch> GetmoRecordsetEventSource();
  void SetmoRecordsetEventSource(Dispatch* value);
  ComPtr<Dispatch> GetConnectionEventSource();
  void SetConnectionEventSource(Variant& value);
  ComPtr<Dispatch> GetRecordsetEventSource();
  void SetRecordsetEventSource(Variant& value);

  // Connections (ado/connections.cpp).
  std::int32_t AdoConnect(UString& sConnection, std::int32_t& nTimeoutSec);
  std::int32_t AdoConnectionState(std::int32_t& hADO);
  std::int32_t AdoDisconnect(std::int32_t& hADO);

  // Statement execution (ado/statement_execution.cpp).
  std::int32_t AdoSet(std::int32_t& hADO, UString& sString);
  std::int32_t AdoAppend(std::int32_t& hADO, UString& sString);
  std::int32_t AdoExec(std::int32_t& hADO, UString& sCommand, std::int32_t& nOptions, std::int32_t& nTimeoutSecs);
  std::int32_t AdoExecuting(std::int32_t& hADO);
  std::int32_t AdoRecordsetState(std::int32_t& hADO);
  std::int32_t AdoNumChange(std::int32_t& hADO);

  // Recordset navigation and fields (ado/recordset_navigation.cpp).
  std::int32_t AdoMove(std::int32_t& hADO, UString& sType);
  std::int32_t AdoNext(std::int32_t& hADO);
  UString AdoGetField(std::int32_t& hADO, UString& sField, std::int32_t& nType, std::int32_t& nPrecision,
                      std::int32_t& nScale);
  std::int32_t AdoNoFields(std::int32_t& hADO);
  std::int32_t AdoFieldInfo(std::int32_t& hADO, std::int32_t& nField, UString& sName, std::int32_t& nSize);
  std::int32_t AdoRecordCount(std::int32_t& hADO);

  // Transactions (ado/transactions.cpp).
  std::int32_t AdoBeginTran(std::int32_t& hADO);
  std::int32_t AdoCommit(std::int32_t& hADO);
  std::int32_t AdoRollBack(std::int32_t& hADO);

  // Error and information queries (ado/info_queries.cpp).
  UString AdoInfo(std::int32_t& hADO, UString& sProperty, std::int32_t& nStartChar);
  UString AdoErrMsg(std::int32_t& hADO, UString& sType, std::int32_t& nError);

  // Commands and parameters (ado/commands.cpp).
  std::int32_t AdoCmdCreate(std::int32_t& hADO, UString& sCommand);
  std::int32_t AdoCmdAddParm(std::int32_t& hCommand, UString& sName, Variant& vValue, std::int32_t& nDataType,
                             std::int32_t& nDirection, std::int32_t& nSizeBytes, std::int32_t& nPrecision,
                             std::int32_t& nNumericScale);
  std::int32_t AdoCmdSetParm(std::int32_t& hCommand, UString& sName, Variant& vValue);
  Variant AdoCmdGetParm(std::int32_t& hCommand, UString& sName);
  std::int32_t AdoCmdExec(std::int32_t& hCommand, std::int32_t& nOptions, std::int32_t& nTimeoutSecs);
  std::int32_t AdoCmdClose(std::int32_t& hCommand);
  std::int32_t AdoCmdState(std::int32_t& hCommand);

  // Object helpers (adoobjects/).
  ComPtr<Dispatch> Recordset();
  ComPtr<Dispatch> Stream();
  ComPtr<Dispatch> Record();
  ComPtr<Dispatch> Parameter();
  ComPtr<Dispatch> Command();
  ComPtr<Dispatch> Connection();
  Variant GetItem(Dispatch* oObject, Variant& vItem);
  ComPtr<Dispatch> ConnectionExecute(Dispatch* oConnection, UString& sStringName, std::int32_t& nRecordsAffected,
                                     std::int32_t& nOptions);
  Variant SetCommandText(Dispatch* oCommand, UString& sStringName);
  UString ObjectType(Dispatch* oObject);

  // The keyed store's members (collection/).
  Variant CollectionAdd(UString& sName, Variant& vItem);
  Variant CollectionRemove(UString& sName);
  Variant CollectionGetItem(Variant& vItem);
  std::int32_t CollectionCount();
  bool CollectionItemExists(Variant& vItem);
  Variant CollectionStringAppend(UString& sName, UString& sValue);
  std::int32_t CollectionStringLength(UString& sName);
  UString CollectionStringMid(UString& sName, std::int32_t& nStartChar, Variant& nLength);

  // The face a container shows and resizes.
  ControlFace GetFace() override;
  void Resize(std::int32_t widthTwips, std::int32_t heightTwips) override;

 private:
  friend class AdoControlTestAccess;
  AdoControl();
  ~AdoControl() override;

  // Container notifications.
  void UserControl_Initialize();
  void UserControl_Resize();
  void UserControl_Terminate();

  // Writes one diagnostic line, formed in full by the caller, to the
  // debugger output when debug mode is on.
  void DebugLog(const UString& line);
  // True when DebugLog writes: a line that cannot fail to form need not be
  // formed otherwise.
  bool DebugModeOn() const { return mbDebugMode != VARIANT_FALSE; }

  // The handle table's procedures, as the database methods call them.
  bool ValidHandle(std::int32_t hADO) const { return mSlots.ValidHandle(hADO); }
  std::int32_t NextFreeHandle() { return mSlots.NextFreeHandle(); }

  // A new ADO object of the class, with its diagnostic line.
  ComPtr<Dispatch> CreateAdoObject(const Guid& clsid, const char16_t* className);

  // Sets mnConnections and shows it in lblConnections.
  void SetConnections(std::int32_t count);

  // The executing-flag protocol that AdoExec and AdoCmdExec share
  // (ado/statement_tracking.cpp; the order of calls is described in
  // statement_tracking.h).
  void BeginStatement(std::int32_t hADO, Dispatch* connection);
  void AttachStatement(std::int32_t hADO, Dispatch* recordset, Dispatch* command);
  void StatementNotStarted(std::int32_t hADO);
  void ForgetStatements(std::int32_t hADO);
  // The connection closed: the statements still running on it have ended.
  void StatementsEnded(Dispatch* connection);
  // Credits a completion that `connection` reported to the handle whose
  // statement it completes: stores the count, clears the flag. Returns that
  // handle, or nothing when the completion matches no slot in use.
  std::optional<std::int32_t> CreditCompletion(Dispatch* connection, Dispatch* recordset, Dispatch* command,
                                               std::int32_t recordsAffected);
  // The twenty event handlers and the sinks that receive ADO's events.
  friend class AdoEventForwarder;
  StatementTracker mStatements;        // statements started and awaited
  EventSubscriptions mSubscriptions;   // sinks advised on ADO objects

  AdoSlotTable mSlots;                       // the handle table
  std::vector<AdoFieldLookup> mFieldLookups;  // AdoGetField's fields found by name
  std::size_t mFieldLookupNext = 0;          // where the next search in them starts
  std::int32_t mnConnections = 0;            // handles in use
  VariantBool mbDebugMode = VARIANT_FALSE;   // debug mode
  std::int32_t mhADO = 0;                    // the handle whose statement executes
  std::unique_ptr<KeyedStore> moCollection;  // the keyed store
  ComPtr<Dispatch> moConnectionEventSource;  // connection whose events are forwarded
  ComPtr<Dispatch> moRecordsetEventSource;   // recordset whose events are forwarded

  // The control's size and its five labels (twips).
  std::int32_t mnWidth;
  std::int32_t mnHeight;
  ControlLabel lblVersion;
  ControlLabel Label1;
  ControlLabel lblConnections;
  ControlLabel Label2;
  ControlLabel lblDebugMode;
};

}  // namespace tarnel
