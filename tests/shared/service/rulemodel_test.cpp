#include "shared/service/rulemodeldevice.hpp"
#include "shared/service/sendingrules.hpp"
#include "shared/service/storingrules.hpp"

#include <gtest/gtest.h>

#include <boost/exception/get_error_info.hpp>
#include <boost/optional/optional_io.hpp>

#include <string>

namespace {

template <class Rules>
Rules readRules(const std::string& text, bool anchors = false)
{
    Json::Reader::Options options;
    options.anchors = anchors;
    Json::Reader reader(text, options);
    Rules rules;
    reader.load(rules);
    return rules;
}

template <class Rules>
std::string writeRules(const Rules& rules, bool anchors = false)
{
    std::string text;
    Json::Writer::Options options;
    options.anchors = anchors;
    Json::Writer writer(Streaming::appendToString(text), options);
    writer.save(rules);
    writer.finish();
    return text;
}

template <class Rules>
std::string rewrite(const std::string& text)
{
    return writeRules(readRules<Rules>(text));
}

const auto rewriteSending = rewrite<Service::Robot::Sending::Rules>;
const auto rewriteStoring = rewrite<Service::Storing::Rules>;

template <class Exception, class Action>
void expectKeyed(Action&& action, const std::string& key)
{
    try {
        action();
        ADD_FAILURE() << "no exception, expected Key_ " << key;
    } catch (const Exception& error) {
        const std::string* tagged = boost::get_error_info<Json::Exceptions::Key_>(error);
        ASSERT_NE(tagged, nullptr) << error.what();
        EXPECT_EQ(*tagged, key) << error.what();
    }
}

Institution::Id id(const std::string& text)
{
    Institution::Id value;
    EXPECT_TRUE(value.fromText(text)) << text;
    return value;
}

std::string storingWithStudy(const std::string& study)
{
    return R"({"1":{"storage":{"study":)" + study + "}}}";
}

TEST(SendingRules, ReadAndWriteEveryKey)
{
    const std::string minimal = R"({"7":{"delivery":{"recipient":"SK#12"}}})";
    const auto rules = readRules<Service::Robot::Sending::Rules>(minimal);
    ASSERT_EQ(rules.size(), 1u);
    const auto& rule = rules.at(7);
    EXPECT_EQ(rule.delivery.recipient.code(), "SK");
    EXPECT_EQ(rule.delivery.recipient.number(), 12u);
    EXPECT_FALSE(rule.receiver || rule.device || rule.studyClosingTimeoutSeconds || rule.delivery.user);
    EXPECT_TRUE(rule.calledAeTitle.empty() && rule.transformation.empty() && rule.delivery.comment.empty());
    EXPECT_FALSE(rule.deleteAfterSent);
    EXPECT_EQ(writeRules(rules), minimal);

    const std::string full = R"({"1":{"receiver":4,"device":0,"delivery":{"recipient":"AB#3","comment":"c",)"
                             R"("user":7},"calledAeTitle":"X","studyClosingTimeoutSeconds":0,"transformation":"t",)"
                             R"("deleteAfterSent":true},"2":{"delivery":{"recipient":"#0"}}})";
    EXPECT_EQ(rewriteSending(full), full);
    const auto fullRules = readRules<Service::Robot::Sending::Rules>(full);
    EXPECT_EQ(fullRules.at(1).device, 0u);
    EXPECT_EQ(fullRules.at(1).delivery.user, 7u);
}

TEST(SendingRules, OlderFilesAreNormalised)
{
    EXPECT_EQ(rewriteSending(R"({ "10" : {"delivery":{"recipient":"SK#12:5","comment":""},"old":1,)"
                             R"("deleteAfterSent":false,"receiver":null},)"
                             R"("2":{"delivery":{"recipient":"12"}},"3":{"delivery":{"recipient":"ABCDE#1"}},)"
                             R"("4":null,"5":{"delivery":null}})"),
              R"({"2":{"delivery":{"recipient":"#12"}},"3":{"delivery":{"recipient":"#0"}},)"
              R"("4":{"delivery":{"recipient":"#0"}},"5":{"delivery":{"recipient":"#0"}},)"
              R"("10":{"delivery":{"recipient":"SK#12"}}})");
    EXPECT_EQ(rewriteSending("{}"), "");
    EXPECT_EQ(rewriteSending("[]"), "");
}

TEST(SendingRules, RequiredKeysAndTypes)
{
    using Rules = Service::Robot::Sending::Rules;
    expectKeyed<Json::Exceptions::MissingKey>([] { readRules<Rules>(R"({"1":{"comment":"x"}})"); }, "delivery");
    expectKeyed<Json::Exceptions::MissingKey>([] { readRules<Rules>(R"({"1":{"delivery":{}}})"); }, "recipient");
    expectKeyed<Json::Exceptions::StringExpected>(
        [] { readRules<Rules>(R"({"1":{"delivery":{"recipient":12}}})"); }, "1.delivery.recipient");
    expectKeyed<Json::Exceptions::Uint32Expected>(
        [] { readRules<Rules>(R"({"1":{"receiver":-1,"delivery":{"recipient":"#1"}}})"); }, "1.receiver");
    expectKeyed<Json::Exceptions::BoolExpected>(
        [] { readRules<Rules>(R"({"1":{"deleteAfterSent":"yes","delivery":{"recipient":"#1"}}})"); },
        "1.deleteAfterSent");
    expectKeyed<Json::Exceptions::Uint32Expected>([] { readRules<Rules>(R"({"x1":null})"); }, "x1");
    // An escaped zero byte is part of the name, never its end: no rule 1 here.
    expectKeyed<Json::Exceptions::Uint32Expected>(
        [] { readRules<Rules>(R"({"1\u00002":{"delivery":{"recipient":"#1"}}})"); }, "1\\u00002");
    // Nor of a value's end: the text is kept whole and written back as it was.
    const std::string zeroInComment = R"({"1":{"delivery":{"recipient":"SK#1","comment":"a\u0000b"}}})";
    EXPECT_EQ(readRules<Rules>(zeroInComment).at(1).delivery.comment, std::string("a\0b", 3));
    EXPECT_EQ(rewriteSending(zeroInComment), zeroInComment);
}

TEST(StoringRules, InstitutionSelections)
{
    using Rules = Service::Storing::Rules;
    const auto all = readRules<Rules>(storingWithStudy(R"({"orbivue":null})"));
    EXPECT_TRUE(all.at(1).institutions.excluding);
    EXPECT_TRUE(all.at(1).institutions.institutions.empty());
    EXPECT_EQ(writeRules(all), storingWithStudy(R"({"orbivue":null})"));

    const std::string only = R"({"1":{"institutions":{"institutions":["SK#1"]},"storage":{"study":{"orbivue":null}}}})";
    const auto selected = readRules<Rules>(only);
    EXPECT_FALSE(selected.at(1).institutions.excluding);
    EXPECT_EQ(selected.at(1).institutions.institutions, std::set<Institution::Id>{id("SK#1")});
    EXPECT_EQ(writeRules(selected), only);

    const std::string except = R"({"1":{"institutions":{"excluding":true,"institutions":["#5","AB#2"]},)"
                               R"("storage":{"study":{"orbivue":null}}}})";
    EXPECT_EQ(rewriteStoring(except), except);
    EXPECT_EQ(rewriteStoring(R"({"1":{"institutions":{"excluding":true,"institutions":["AB#2:1","#5","5"]},)"
                             R"("storage":{"study":{"orbivue":null}}}})"),
              except);

    // A rule for no institution stays one.
    const std::string none = R"({"1":{"institutions":{"excluding":false},"storage":{"study":{"orbivue":null}}}})";
    const auto noInstitution = readRules<Rules>(R"({"1":{"institutions":{},"storage":{"study":{"orbivue":null}}}})");
    EXPECT_FALSE(noInstitution.at(1).institutions.excluding);
    EXPECT_TRUE(noInstitution.at(1).institutions.institutions.empty());
    EXPECT_EQ(writeRules(noInstitution), none);
    EXPECT_EQ(rewriteStoring(none), none);

    EXPECT_EQ(rewriteStoring(R"({"1":{"institutions":null,"storage":{"study":{"orbivue":null}}}})"),
              storingWithStudy(R"({"orbivue":null})"));
    EXPECT_EQ(rewriteStoring(R"({"1":{"institutions":{"excluding":true},"storage":{"study":{"orbivue":null}}}})"),
              storingWithStudy(R"({"orbivue":null})"));
    expectKeyed<Json::Exceptions::ArrayExpected>(
        [] { readRules<Rules>(R"({"1":{"institutions":{"institutions":null},"storage":{"study":{"orbivue":1}}}})"); },
        "1.institutions.institutions");
}

TEST(StoringRules, TargetsAndAttachments)
{
    EXPECT_EQ(rewriteStoring(storingWithStudy(R"({"folder":{"folder":"D:\\in"}})")),
              storingWithStudy(R"({"folder":{"folder":"D:\\in"}})"));
    EXPECT_EQ(rewriteStoring(storingWithStudy(R"({"folder":{}})")), storingWithStudy(R"({"folder":null})"));
    EXPECT_EQ(rewriteStoring(storingWithStudy(R"({"folder":{"folder":"a","filenamePolicy":"p"},"device":{}})")),
              storingWithStudy(R"({"folder":{"folder":"a","filenamePolicy":"p"}})"));
    EXPECT_EQ(rewriteStoring(storingWithStudy(R"({"orbivue":{"anything":[1]}})")), storingWithStudy(R"({"orbivue":null})"));
    EXPECT_EQ(rewriteStoring(storingWithStudy(R"({"device":{"device":{"id":3},"callingAeTitle":"ME"}})")),
              storingWithStudy(R"({"device":{"device":{"id":3},"callingAeTitle":"ME"}})"));
    EXPECT_EQ(rewriteStoring(storingWithStudy(R"({"device":null})")), storingWithStudy(R"({"device":{"device":{"id":0}}})"));
    EXPECT_EQ(rewriteStoring(R"({"1":null,"2":{"storage":null}})"),
              R"({"1":{"storage":{"study":{"device":{"device":{"id":0}}}}},"2":{"storage":{"study":{"device":{"device":{"id":0}}}}}})");

    using Rules = Service::Storing::Rules;
    using Service::Storing::Target::AttachmentFolder;
    namespace FolderOption = Service::Storing::Target::FolderOption;
    auto attachments = [](const std::string& value) {
        return readRules<Rules>(R"({"1":{"storage":{"study":{"orbivue":null},"attachments":)" + value + "}}}")
            .at(1)
            .storage.attachments;
    };
    EXPECT_EQ(attachments("\"<ignore>\""), AttachmentFolder(FolderOption::Ignore));
    EXPECT_EQ(attachments("\"<default>\""), AttachmentFolder(FolderOption::Default));
    EXPECT_EQ(attachments("null"), AttachmentFolder(FolderOption::Default));
    EXPECT_EQ(attachments("\"<IGNORE>\""), AttachmentFolder(std::string("<IGNORE>")));
    expectKeyed<Json::Exceptions::BadVariant>([&] { attachments("1"); }, "1.storage.attachments");

    const std::string withAttachments = R"({"1":{"storage":{"study":{"orbivue":null},"attachments":"<ignore>",)"
                                        R"("attachmentFilenamePolicy":"p"}},"2":{"storage":{"study":{"orbivue":null},)"
                                        R"("attachments":"<IGNORE>"}},"3":{"storage":{"study":{"orbivue":null},"attachments":""}}})";
    EXPECT_EQ(rewriteStoring(withAttachments), withAttachments);
    EXPECT_EQ(rewriteStoring(R"({"1":{"storage":{"study":{"orbivue":null},"attachments":"<default>"}}})"),
              storingWithStudy(R"({"orbivue":null})"));

    Rules freeDefault = readRules<Rules>(storingWithStudy(R"({"orbivue":null})"));
    freeDefault.at(1).storage.attachments = std::string("<default>");
    const std::string written = writeRules(freeDefault);
    EXPECT_EQ(written, R"({"1":{"storage":{"study":{"orbivue":null},"attachments":"<default>"}}})");
    EXPECT_EQ(readRules<Rules>(written).at(1).storage.attachments, AttachmentFolder(FolderOption::Default));
}

TEST(StoringRules, LabelsAndRequiredKeys)
{
    using Rules = Service::Storing::Rules;
    auto expectLabel = [](const std::string& study, const std::string& label, const std::string& key) {
        try {
            readRules<Rules>(storingWithStudy(study));
            ADD_FAILURE() << study;
        } catch (const Json::Exceptions::InvalidLabel& error) {
            EXPECT_EQ(*boost::get_error_info<Json::Exceptions::Label_>(error), label);
            EXPECT_EQ(*boost::get_error_info<Json::Exceptions::Key_>(error), key);
        }
    };
    expectLabel(R"({"Folder":{}})", "Folder", "1.storage.study");
    expectLabel(R"({"folder\u0000x":{}})", "folder\\u0000x", "1.storage.study");
    expectLabel("{}", "", "1.storage.study");
    expectLabel(R"({"device":{"device":{"ID":1}}})", "ID", "1.storage.study.device.device");
    expectKeyed<Json::Exceptions::ObjectExpected>([] { readRules<Rules>(storingWithStudy("\"folder\"")); },
                                                  "1.storage.study");
    expectKeyed<Json::Exceptions::MissingKey>([] { readRules<Rules>(R"({"1":{"user":1}})"); }, "storage");
    expectKeyed<Json::Exceptions::MissingKey>([] { readRules<Rules>(R"({"1":{"storage":{}}})"); }, "study");
    expectKeyed<Json::Exceptions::MissingKey>([] { readRules<Rules>(storingWithStudy(R"({"device":{}})")); }, "device");
    expectKeyed<Json::Exceptions::MissingKey>(
        [] { readRules<Rules>(storingWithStudy(R"({"device":{"device":{"device":{"name":"x"}}}})")); }, "port");
    expectKeyed<Json::Exceptions::MissingKey>(
        [] { readRules<Rules>(storingWithStudy(R"({"device":{"device":{"device":{"port":1,"services":{"retrieve":false}}}}})")); },
        "orbivue");
    expectKeyed<Json::Exceptions::Int32Expected>(
        [] { readRules<Rules>(storingWithStudy(R"({"device":{"device":{"device":{"port":"104"}}}})")); },
        "1.storage.study.device.device.device.port");
    expectKeyed<Json::Exceptions::Uint8OutOfRange>(
        [] {
            readRules<Rules>(storingWithStudy(
                R"({"device":{"device":{"device":{"port":1,"authentication":{"kerberosToken":[1,256]}}}}})"));
        },
        "1.storage.study.device.device.device.authentication.kerberosToken");
}

TEST(DicomDevice, DefaultsAndEveryKey)
{
    auto device = [](const std::string& value) { return storingWithStudy(R"({"device":{"device":{"device":)" + value + "}}}"); };
    EXPECT_EQ(rewriteStoring(device(R"({"port":104})")), device(R"({"port":104})"));
    EXPECT_EQ(rewriteStoring(device("null")), device(R"({"port":0,"charset":"ISO-IR 192"})"));
    EXPECT_EQ(Service::Dicom::Device().charset, "ISO-IR 192");
    EXPECT_EQ(rewriteStoring(device(R"({"port":null,"services":null,"timeoutSec":null,"acceptFirstProposedTransfer":null,)"
                                    R"("ignoredSopClasses":null,"authentication":null,"maxAttempts":null})")),
              device(R"({"port":0})"));
    EXPECT_EQ(rewriteStoring(device(R"({"port":1,"services":{"retrieve":true,"query":true,"store":true,"orbivue":false},)"
                                    R"("timeoutSec":120,"findTimeoutSec":120,"actionTimeoutSec":30,"storeTimeoutSec":120,)"
                                    R"("moveTimeoutSec":120,"maxSopClasses":128,"acceptFirstProposedTransfer":true,"name":""})")),
              device(R"({"port":1})"));

    const std::string full =
        device(R"({"name":"PACS","address":"pacs.local","aeTitle":"PACS","port":104,)"
               R"("services":{"retrieve":false,"query":false,"store":false,"orbivue":true},"charset":"ISO_IR 100",)"
               R"("timeoutSec":1,"findTimeoutSec":2,"actionTimeoutSec":3,"storeTimeoutSec":4,"moveTimeoutSec":5,)"
               R"("maxSopClasses":6,"acceptFirstProposedTransfer":false,"ignoredSopClasses":["1.2","1.3"],)"
               R"("supportedSopClasses":["1.4"],"callingAeTitle":"ME","authentication":{"login":"u","password":"p\"w",)"
               R"("impersonate":"i","kerberosToken":[0,1,255]},"maxAttempts":3,"timeLimitSeconds":60})");
    EXPECT_EQ(rewriteStoring(full), full);
    EXPECT_EQ(rewriteStoring(device(R"({"port":1,"services":{"orbivue":true}})")),
              device(R"({"port":1,"services":{"orbivue":true}})"));
    EXPECT_EQ(rewriteStoring(device(R"({"port":1,"ignoredSopClasses":["b","a","b"]})")),
              device(R"({"port":1,"ignoredSopClasses":["a","b"]})"));
}

TEST(DicomDevice, AnEmptyAuthenticationIsLeftOutSoTheRewriteIsStable)
{
    auto device = [](const std::string& value) { return storingWithStudy(R"({"device":{"device":{"device":)" + value + "}}}"); };
    const auto rules = readRules<Service::Storing::Rules>(device(R"({"port":1,"authentication":{}})"));
    const auto& target = boost::get<Service::Storing::Target::Device>(rules.at(1).storage.study);
    const auto& held = boost::get<std::shared_ptr<const Service::Dicom::Device>>(target.device);
    ASSERT_TRUE(held->authentication);
    const std::string once = writeRules(rules);
    EXPECT_EQ(once, device(R"({"port":1})"));
    EXPECT_EQ(rewriteStoring(once), once);
}

TEST(DicomDevice, WithAnchorsTheSameDeviceIsWrittenOnce)
{
    using namespace Service::Storing;
    auto shared = std::make_shared<Service::Dicom::Device>();
    shared->port = 11112;
    shared->charset.clear();
    Rules rules;
    Target::Device target;
    target.device = std::shared_ptr<const Service::Dicom::Device>(shared);
    rules[1].storage.study = target;
    rules[2].storage.study = target;
    const std::string written = writeRules(rules, true);
    EXPECT_EQ(written, R"({"1":{"storage":{"study":{"device":{"device":{"device":{"1.storage.study.device.device.device":)"
                       R"({"port":11112}}}}}}},"2":{"storage":{"study":{"device":{"device":{"device":)"
                       R"("1.storage.study.device.device.device"}}}}}})");
    const Rules read = readRules<Rules>(written, true);
    auto deviceOf = [&](unsigned int number) {
        return boost::get<std::shared_ptr<const Service::Dicom::Device>>(
            boost::get<Target::Device>(read.at(number).storage.study).device);
    };
    EXPECT_EQ(deviceOf(1), deviceOf(2));
    EXPECT_EQ(deviceOf(1)->port, 11112);
    EXPECT_EQ(writeRules(read, true), written);
    // Without anchors each occurrence is written in full.
    EXPECT_EQ(writeRules(read), R"({"1":{"storage":{"study":{"device":{"device":{"device":{"port":11112}}}}}},)"
                                R"("2":{"storage":{"study":{"device":{"device":{"device":{"port":11112}}}}}}})");
    try {
        readRules<Rules>(R"({"1":{"storage":{"study":{"device":{"device":{"device":"later"}}}}},)"
                         R"("2":{"storage":{"study":{"device":{"device":{"device":{"later":{"port":1}}}}}}}})",
                         true);
        ADD_FAILURE();
    } catch (const Json::Exceptions::BadAnchor& error) {
        EXPECT_EQ(*boost::get_error_info<Json::Exceptions::Anchor_>(error), "later");
    }
}

} // namespace
