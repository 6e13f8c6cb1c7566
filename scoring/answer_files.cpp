#include "scoring/answer_files.h"

#include "platform/office/legacy/legacy_conversion.h"
#include "platform/office/legacy/resident_converter.h"
#include "platform/office/shared/failure.h"
#include "platform/office/shared/limits.h"

namespace bq::scoring {
namespace {

static_assert(kMaxAnswerBytes == office::limits::kMaxFileBytes,
              "the answer bound is the Office readers' file bound");

office::Failure officeFailure(const FailureAs& f) { return {f.number, f.source, f.subject}; }

}  // namespace

struct PrivateFolder::Impl {
  office::TempFolder folder;
};

PrivateFolder::PrivateFolder(std::string_view prefix, const FailureAs& failure)
    : impl_(std::make_unique<Impl>(office::TempFolder(prefix, officeFailure(failure)))) {}

PrivateFolder::~PrivateFolder() = default;

const std::filesystem::path& PrivateFolder::path() const { return impl_->folder.path(); }

std::filesystem::path officeProgram() { return office::findSoffice(); }

struct ResidentOffice::Impl {
  office::ResidentConversionScope scope;
};

ResidentOffice::ResidentOffice() : impl_(std::make_unique<Impl>()) {}

ResidentOffice::~ResidentOffice() = default;

bool hasResidentOffice() { return office::residentConverter() != nullptr; }

void convertOnResidentOffice(const std::filesystem::path& input, const std::string& importFilter,
                             const std::filesystem::path& output, const std::string& exportFilter,
                             const FailureAs& failure) {
  office::residentConverter()->convert(input, importFilter, output, exportFilter,
                                       office::limits::kConversionTimeout, officeFailure(failure));
}

}  // namespace bq::scoring
