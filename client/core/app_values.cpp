#include "client/core/app_values.h"

namespace bq::client {

std::string examConnectionString(std::string_view appFolder) {
  // The folder is quoted, so that a ";" in its path cannot add keys.
  return "PROViDER=Microsoft.Jet.OLEDB.4.0;Data Source=" +
         db::quoteConnectionValue(std::string(appFolder) + "\\BqTest.MDB") +
         ";Jet OLEDB:Database Password=" + std::string(kDatabasePassword) + ";";
}

void openExamConnection(AppValues& app) {
  app.ExamConnection.Open(examConnectionString(app.AppFolder), "", "", db::adOptionUnspecified);
}

}  // namespace bq::client
