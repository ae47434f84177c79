#include "tyq/status.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace Qra::Ostrel::Tyq::Private {
namespace {

using E = FileAccess::Error;

bool innermost(Status* status, const std::string& file) {
  Func func("C::Read", status);
  return func.setError(E::ReadFailed, file);
}
bool middle(Status* status, const std::string& file) {
  Func func("B::Load", status);
  return innermost(func.statusP(), file);
}
bool outer(Status* status, const std::string& file) {
  Func func("A::Open", status);
  return middle(func.statusP(), file);
}

TEST(ErrorMessage, TableEndsAndOutsideNumbers) {
  EXPECT_STREQ(E::Message(0), "<no error>");
  EXPECT_STREQ(E::Message(18), "failed to report detailed information");
  EXPECT_STREQ(E::Message(19), "System error");
  EXPECT_STREQ(E::Message(32), "data loss while accessing cloud storage");
  EXPECT_STREQ(E::Message(33), "<invalid error code>");
  EXPECT_STREQ(E::Message(-1), "<invalid error code>");
}

TEST(Status, NestedOperationsBuildTrailAndMessage) {
  Status status;
  EXPECT_FALSE(outer(&status, "f.vbs"));
  EXPECT_EQ(status.tyqError(), E::ReadFailed);
  EXPECT_EQ(status.function(), "C::Read from B::Load from A::Open");
  EXPECT_EQ(status.message(),
            "unable to read file while accessing f.vbs in C::Read from B::Load from A::Open");
}

TEST(Status, SetErrorWithZeroIsUnknownAndEnsureErrorKeepsExisting) {
  Status status;
  EXPECT_FALSE(status.setError(0, "ctx", "F::G"));
  EXPECT_EQ(status.tyqError(), E::UnknownError);

  Status fresh;
  EXPECT_FALSE(fresh.ensureError("X::Y"));
  EXPECT_EQ(fresh.tyqError(), E::NoDetails);
  EXPECT_EQ(fresh.context(), "");
  EXPECT_EQ(fresh.function(), "X::Y");
  EXPECT_FALSE(status.ensureError("X::Y"));
  EXPECT_EQ(status.tyqError(), E::UnknownError);
  EXPECT_EQ(status.function(), "F::G");
}

TEST(Status, PushErrorFollowsSeverity) {
  Status status;
  status.setError(E::ReadFailed, "f", "C::Read");
  EXPECT_FALSE(status.pushError(E::UnknownError, "B::Load"));
  EXPECT_EQ(status.tyqError(), E::ReadFailed);
  EXPECT_EQ(status.function(), "C::Read");

  Status sys;
  sys.setSysError(ENOENT, "g", "vvFile::OpenExistingFile");
  sys.pushError(E::OpenFailed, "File::Open");
  EXPECT_EQ(sys.tyqError(), E::OpenFailed);
  EXPECT_EQ(sys.sysError(), ENOENT);
  EXPECT_EQ(sys.context(), "g");
  EXPECT_EQ(sys.function(), "vvFile::OpenExistingFile from File::Open");

  // A specific code never replaces a cloud code, a cloud code replaces anything.
  sys.pushError(E::CloudTimeout, "Cloud::Get");
  EXPECT_EQ(sys.tyqError(), E::CloudTimeout);
  sys.pushError(E::WriteFailed, "X::Y");
  EXPECT_EQ(sys.tyqError(), E::CloudTimeout);
  // pushError(0) counts as UnknownError.
  Status unknown;
  unknown.setSysError(5, "", "A");
  unknown.pushError(0, "B");
  EXPECT_EQ(unknown.tyqError(), E::SystemError);
}

TEST(Status, FuncResetsCodeButHidesOldStrings) {
  Status status;
  status.setSysError(13, "old", "Old::Op");
  {
    Func func("New::Op", &status);
    EXPECT_TRUE(status.ok());
    EXPECT_EQ(status.sysError(), 0);
    EXPECT_EQ(status.context(), "");
    EXPECT_EQ(status.function(), "");
  }
  // Nothing failed, so the destructor added nothing and the raw strings stay.
  EXPECT_EQ(status.message(), "<no error> while accessing old in Old::Op");
}

TEST(Status, SystemMessageUsesPlatformTextOrFallback) {
  Status status;
  status.setSysError(ENOENT, "a.vbs", "vvFile::OpenExistingFile");
  EXPECT_EQ(status.message(),
            "System error (No such file or directory) while accessing a.vbs "
            "in vvFile::OpenExistingFile");
  EXPECT_EQ(Status::getSysMessage(987654), "Windows error 987654");
}

TEST(Func, NullStatusIsAcceptedAndCopiesKeepTheirTarget) {
  Func func("A::B", nullptr);
  EXPECT_FALSE(func.setError(E::InvalidArgument, "x"));
  EXPECT_EQ(func.tyqError(), E::InvalidArgument);
  Func copy(func);
  EXPECT_EQ(copy.tyqError(), E::InvalidArgument);
  EXPECT_NE(copy.statusP(), func.statusP());  // each reports into its own status

  Status shared;
  Func a("A::C", &shared);
  Func b(a);
  EXPECT_EQ(b.statusP(), &shared);
  EXPECT_FALSE(b.ensureError());
  EXPECT_EQ(shared.tyqError(), E::NoDetails);
  EXPECT_EQ(shared.function(), "A::C");
}

TEST(Func, DestructorAddsNameOnlyOnceAndComparesSuffixBytes) {
  Status status;
  {
    Func outerFunc("Op", &status);
    // The trail is shorter than nothing-matching; "XOp" ends with "Op" so
    // the destructor sees its own name there and adds nothing.
    status.setError(E::ReadFailed, "", "XOp");
  }
  EXPECT_EQ(status.function(), "XOp");
  {
    Func outerFunc("Longer::Name", &status);
    status.setError(E::ReadFailed, "", "Q");
  }
  EXPECT_EQ(status.function(), "Q from Longer::Name");
}

}  // namespace
}  // namespace Qra::Ostrel::Tyq::Private
