// The source manager's state machine against the sequences a client may
// send, right or wrong: each wrong call answers TWRC_FAILURE with the
// condition code TWAIN gives it, and leaves the state as it was.
#include <cstring>

#include "TwainTestUtil.h"

namespace {

class DsmState : public ::testing::Test {
protected:
  void SetUp() override { UseSaneConfig({}); }
  void TearDown() override { A.Reset(); }
  TTwainApp A;
};

struct TStep {
  const char* What;
  std::function<TW_UINT16(TTwainApp&)> Call;
  TW_UINT16 Rc;
  int Condition = -1; // -1: not asked
};

TW_UINT16 Triplet(TTwainApp& A, bool ToSource, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 Msg) {
  TW_IDENTITY Any{};
  return A.Call(ToSource, DG, DAT, Msg, &Any);
}

const auto OpenDsm = [](TTwainApp& A) { return A.OpenDsm(); };
const auto CloseDsm = [](TTwainApp& A) { return A.CloseDsm(); };
const auto OpenDs = [](TTwainApp& A) { return A.OpenDs(); };
const auto CloseDs = [](TTwainApp& A) { return A.CloseDs(); };
const auto EnableUi = [](TTwainApp& A) { return A.Enable(true); };
const auto Disable = [](TTwainApp& A) { return A.Disable(); };
const auto Native = [](TTwainApp& A) { return A.SetXferMech(ICAP_XFERMECH, TWON_ONEVALUE, TWTY_UINT16, TWSX_NATIVE); };
const auto EndXfer = [](TTwainApp& A) { return A.EndXfer(); };
const auto Transfer = [](TTwainApp& A) {
  std::vector<uint8_t> Dib;
  return A.Transfer(Dib);
};

struct TSequence {
  const char* Name;
  std::vector<TStep> Steps;
};

const TSequence Sequences[] = {
    {"closing a manager never opened", {{"close", CloseDsm, TWRC_FAILURE, TWCC_SEQERROR}}},
    {"opening the manager twice",
     {{"open", OpenDsm, TWRC_SUCCESS, TWCC_SUCCESS}, {"again", OpenDsm, TWRC_FAILURE, TWCC_SEQERROR}}},
    {"a source before the manager", {{"open source", OpenDs, TWRC_FAILURE, TWCC_SEQERROR}}},
    {"enabling a source never opened",
     {{"open", OpenDsm, TWRC_SUCCESS}, {"enable", EnableUi, TWRC_FAILURE, TWCC_BADDEST}}},
    {"closing the manager under an open source",
     {{"open", OpenDsm, TWRC_SUCCESS},
      {"open source", OpenDs, TWRC_SUCCESS},
      {"close", CloseDsm, TWRC_FAILURE, TWCC_SEQERROR},
      {"close source", CloseDs, TWRC_SUCCESS},
      {"close", CloseDsm, TWRC_SUCCESS, TWCC_SUCCESS}}},
    {"a second source at once",
     {{"open", OpenDsm, TWRC_SUCCESS},
      {"open source", OpenDs, TWRC_SUCCESS},
      {"again",
       [](TTwainApp& A) {
         TW_IDENTITY Second{};
         return A.Call(false, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &Second);
       },
       TWRC_FAILURE, TWCC_SEQERROR}}},
    {"an unknown source",
     {{"open", OpenDsm, TWRC_SUCCESS},
      {"open source", [](TTwainApp& A) { return A.OpenDs("nosuch:7"); }, TWRC_FAILURE, TWCC_NODS}}},
    {"capabilities while open",
     {{"open", OpenDsm, TWRC_SUCCESS},
      {"open source", OpenDs, TWRC_SUCCESS},
      {"native", Native, TWRC_SUCCESS, TWCC_SUCCESS},
      {"memory", [](TTwainApp& A) { return A.SetXferMech(ICAP_XFERMECH, TWON_ONEVALUE, TWTY_UINT16, TWSX_MEMORY); },
       TWRC_FAILURE, TWCC_BADVALUE},
      {"file", [](TTwainApp& A) { return A.SetXferMech(ICAP_XFERMECH, TWON_ONEVALUE, TWTY_UINT16, TWSX_FILE); },
       TWRC_FAILURE, TWCC_BADVALUE},
      {"other container", [](TTwainApp& A) { return A.SetXferMech(ICAP_XFERMECH, 3, TWTY_UINT16, 0); }, TWRC_FAILURE,
       TWCC_BADVALUE},
      {"other item type", [](TTwainApp& A) { return A.SetXferMech(ICAP_XFERMECH, TWON_ONEVALUE, 5, 0); }, TWRC_FAILURE,
       TWCC_BADVALUE},
      {"other capability", [](TTwainApp& A) { return A.SetXferMech(0x101, TWON_ONEVALUE, TWTY_UINT16, 0); },
       TWRC_FAILURE, TWCC_CAPUNSUPPORTED},
      {"get", [](TTwainApp& A) { return A.SetXferMech(ICAP_XFERMECH, TWON_ONEVALUE, TWTY_UINT16, 0, MSG_GET); },
       TWRC_FAILURE, TWCC_CAPBADOPERATION},
      {"no record", [](TTwainApp& A) { return A.Call(true, DG_CONTROL, DAT_CAPABILITY, MSG_SET, nullptr); },
       TWRC_FAILURE, TWCC_BADVALUE}}},
    {"out of turn while open",
     {{"open", OpenDsm, TWRC_SUCCESS},
      {"open source", OpenDs, TWRC_SUCCESS},
      {"disable", Disable, TWRC_FAILURE, TWCC_SEQERROR},
      {"transfer", Transfer, TWRC_FAILURE, TWCC_SEQERROR},
      {"end transfer", EndXfer, TWRC_FAILURE, TWCC_SEQERROR},
      {"reset", [](TTwainApp& A) { return A.EndXfer(MSG_RESET); }, TWRC_FAILURE, TWCC_SEQERROR}}},
    {"out of turn while enabled",
     {{"open", OpenDsm, TWRC_SUCCESS},
      {"open source", OpenDs, TWRC_SUCCESS},
      {"enable", EnableUi, TWRC_SUCCESS},
      {"enable again", EnableUi, TWRC_FAILURE, TWCC_SEQERROR},
      {"set transfer", Native, TWRC_FAILURE, TWCC_SEQERROR},
      {"close source", CloseDs, TWRC_FAILURE, TWCC_SEQERROR},
      {"transfer", Transfer, TWRC_FAILURE, TWCC_SEQERROR},
      {"end transfer", EndXfer, TWRC_FAILURE, TWCC_SEQERROR},
      {"close", CloseDsm, TWRC_FAILURE, TWCC_SEQERROR},
      {"disable", Disable, TWRC_SUCCESS, TWCC_SUCCESS},
      {"close source", CloseDs, TWRC_SUCCESS},
      {"close", CloseDsm, TWRC_SUCCESS}}},
    {"another source's identity",
     {{"open", OpenDsm, TWRC_SUCCESS},
      {"open source", OpenDs, TWRC_SUCCESS},
      {"enable",
       [](TTwainApp& A) {
         TW_IDENTITY Other = A.Source;
         ++Other.Id;
         TW_USERINTERFACE Ui{1, 0, nullptr};
         return DSM_Entry(&A.App, &Other, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &Ui);
       },
       TWRC_FAILURE, TWCC_BADDEST}}},
    {"unknown triplets and missing records",
     {{"open", OpenDsm, TWRC_SUCCESS},
      {"unknown data type", [](TTwainApp& A) { return Triplet(A, false, DG_CONTROL, 0x77, MSG_GET); }, TWRC_FAILURE,
       TWCC_BADPROTOCOL},
      {"unknown group", [](TTwainApp& A) { return Triplet(A, false, 0x40, DAT_IDENTITY, MSG_GET); }, TWRC_FAILURE,
       TWCC_BADPROTOCOL},
      {"open source without identity",
       [](TTwainApp& A) { return A.Call(false, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, nullptr); }, TWRC_FAILURE,
       TWCC_BADVALUE},
      {"no origin",
       [](TTwainApp&) { return DSM_Entry(nullptr, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, nullptr); },
       TWRC_FAILURE, TWCC_BADVALUE},
      {"status without record", [](TTwainApp& A) { return A.Call(false, DG_CONTROL, DAT_STATUS, MSG_GET, nullptr); },
       TWRC_FAILURE}}},
};

TEST_F(DsmState, SequencesAnswerWithTheirCodes) {
  for (const TSequence& S : Sequences) {
    SCOPED_TRACE(S.Name);
    for (const TStep& Step : S.Steps) {
      SCOPED_TRACE(Step.What);
      EXPECT_EQ(Step.Call(A), Step.Rc);
      if (Step.Condition >= 0) {
        EXPECT_EQ(A.Condition(), Step.Condition);
      }
    }
    A.Reset();
  }
}

TEST_F(DsmState, ListsTheDevicesAndOpensTheDefault) {
  ASSERT_EQ(A.OpenDsm(), TWRC_SUCCESS);
  EXPECT_NE(A.App.Id, 0u);
  TW_IDENTITY I{};
  std::vector<std::string> Names;
  for (TW_UINT16 Msg = MSG_GETFIRST; A.Call(false, DG_CONTROL, DAT_IDENTITY, Msg, &I) == TWRC_SUCCESS;
       Msg = MSG_GETNEXT)
    Names.emplace_back(I.ProductName);
  EXPECT_EQ(Names, (std::vector<std::string>{"test:0", "test:1"}));
  EXPECT_EQ(A.Call(false, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &I), TWRC_ENDOFLIST);
  ASSERT_EQ(A.Call(false, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &I), TWRC_SUCCESS);
  EXPECT_STREQ(I.ProductName, "test:0");
  // An all-zero identity opens the default source and learns who it is.
  ASSERT_EQ(A.OpenDs(""), TWRC_SUCCESS);
  EXPECT_STREQ(A.Source.ProductName, "test:0");
  EXPECT_NE(A.Source.Id, 0u);
  EXPECT_EQ(A.Source.SupportedGroups, DG_CONTROL | DG_IMAGE);
}

TEST_F(DsmState, UserSelectTakesTheChoiceOrCancels) {
  ASSERT_EQ(A.OpenDsm(), TWRC_SUCCESS);
  TW_IDENTITY I{};
  WhenModal("SelectSource", [](QWidget& W) { static_cast<QDialog&>(W).reject(); });
  EXPECT_EQ(A.Call(false, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &I), TWRC_CANCEL);
  WhenModal("SelectSource", [](QWidget& W) {
    auto* List = W.findChild<QListWidget*>();
    ASSERT_NE(List, nullptr);
    EXPECT_EQ(List->count(), 2);
    List->setCurrentRow(1);
    static_cast<QDialog&>(W).accept();
  });
  ASSERT_EQ(A.Call(false, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &I), TWRC_SUCCESS);
  EXPECT_STREQ(I.ProductName, "test:1");
  // The choice is the default from now on.
  TW_IDENTITY D{};
  ASSERT_EQ(A.Call(false, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &D), TWRC_SUCCESS);
  EXPECT_STREQ(D.ProductName, "test:1");
}

TEST_F(DsmState, ProcessEventLetsForeignEventsPass) {
  ASSERT_EQ(A.OpenDsm(), TWRC_SUCCESS);
  ASSERT_EQ(A.OpenDs(), TWRC_SUCCESS);
  QEvent Foreign(QEvent::User);
  TW_EVENT E{&Foreign, 0x55};
  // Open but not enabled: nothing is the source's, and no failure.
  EXPECT_EQ(A.Call(true, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &E), TWRC_NOTDSEVENT);
  EXPECT_EQ(E.TWMessage, MSG_NULL);
  ASSERT_EQ(A.Enable(true), TWRC_SUCCESS);
  E = {&Foreign, 0x55};
  EXPECT_EQ(A.Call(true, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &E), TWRC_NOTDSEVENT);
  E = {nullptr, 0};
  EXPECT_EQ(A.Call(true, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &E), TWRC_NOTDSEVENT);
}

TEST_F(DsmState, WithoutWindowScansAtOnceAndAsksToClose) {
  ASSERT_EQ(A.OpenDsm(), TWRC_SUCCESS);
  ASSERT_EQ(A.OpenDs(), TWRC_SUCCESS);
  ASSERT_EQ(Native(A), TWRC_SUCCESS);
  ASSERT_EQ(A.Enable(false), TWRC_SUCCESS);
  ASSERT_TRUE(WaitFor([&] { return !A.Messages.empty(); }));
  EXPECT_EQ(A.Messages, std::vector<TW_UINT16>{MSG_XFERREADY});
  TW_PENDINGXFERS P{};
  ASSERT_EQ(A.Call(true, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &P), TWRC_SUCCESS);
  EXPECT_EQ(P.Count, 1);
  // Not enabled-only any more: the window's state change is refused.
  EXPECT_EQ(A.Disable(), TWRC_FAILURE);
  std::vector<uint8_t> Dib;
  ASSERT_EQ(A.Transfer(Dib), TWRC_XFERDONE);
  EXPECT_GT(Dib.size(), 40u);
  EXPECT_EQ(A.Transfer(Dib), TWRC_FAILURE);
  EXPECT_EQ(A.Condition(true), TWCC_SEQERROR);
  P = {9, 0};
  ASSERT_EQ(A.Call(true, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &P), TWRC_SUCCESS);
  EXPECT_EQ(P.Count, 0);
  ASSERT_TRUE(WaitFor([&] { return A.Messages.size() == 2; }));
  EXPECT_EQ(A.Messages[1], MSG_CLOSEDSREQ);
  EXPECT_EQ(A.Disable(), TWRC_SUCCESS);
  EXPECT_EQ(A.CloseDs(), TWRC_SUCCESS);
  EXPECT_EQ(A.CloseDsm(), TWRC_SUCCESS);
}

TEST_F(DsmState, AvailableOnlyWithADevice) {
  EXPECT_TRUE(DSM_Available());
  UseSaneConfig({}, false);
  EXPECT_FALSE(DSM_Available());
  EXPECT_EQ(A.OpenDsm(), TWRC_SUCCESS);
  TW_IDENTITY I{};
  EXPECT_EQ(A.Call(false, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &I), TWRC_FAILURE);
  EXPECT_EQ(A.Condition(), TWCC_NODS);
  EXPECT_EQ(A.OpenDs(), TWRC_FAILURE);
  EXPECT_EQ(A.Condition(), TWCC_NODS);
}

} // namespace
