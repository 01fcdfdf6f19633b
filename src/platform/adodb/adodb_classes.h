// Registration of the data access objects' creatable classes with the
// automation runtime: ADODB.Connection, ADODB.Recordset, ADODB.Command,
// ADODB.Parameter, ADODB.Record and ADODB.Stream, by ProgID and by CLSID.
// The host calls RegisterAdodbClasses once at start-up, before any object
// is created; calling it again changes nothing.
#pragma once

namespace tarnel::adodb {

void RegisterAdodbClasses();

}  // namespace tarnel::adodb
