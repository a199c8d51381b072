// Writes the seed corpora: answers and error records as the simulated language
// monitor gives them, the protocol's edge cases, and small language-file texts.
// Run once by hand; its output is committed under fuzz/corpus/.
//   fuzz_seeds <corpus folder>
#include "lmsim/scenario.h"
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

class Writer {
public:
    Writer(std::string folder, std::string target) : m_Folder(std::move(folder) + "/" + std::move(target) + "/") {}

    void Add(const std::string& name, const std::string& bytes)
    {
        if (!m_Seen.insert(bytes).second)
            return;
        std::ofstream(m_Folder + name, std::ios::binary) << bytes;
    }

private:
    std::string m_Folder;
    std::set<std::string> m_Seen;
};

std::string Bytes(std::initializer_list<int> bytes)
{
    std::string s;
    for (int b : bytes)
        s += static_cast<char>(b);
    return s;
}

void WriteAnswers(const std::string& folder)
{
    Writer w(folder, "answer");
    const lmsim::Scenario demo(lmsim::ScenarioKind::Demo, 64, 2);
    lmsim::Session session(demo);
    const uint8_t commands[] = {lmsim::CmdNumber, lmsim::CmdInk,      lmsim::CmdUvLamp,
                                lmsim::CmdStatus, lmsim::CmdMaterial, lmsim::CmdJobName};
    for (uint64_t ms : {0, 2000, 3600, 8000, 36000}) {
        for (uint8_t command : commands) {
            const std::string bytes = session.Answer(command, 0, ms).bytes;
            w.Add("lmsim_cmd" + std::to_string(command) + "_" + std::to_string(ms) + "ms", bytes);
        }
    }
    w.Add("lmsim_unknown_command", session.Answer(8, 0, 0).bytes);
    w.Add("status_none", Bytes({0x83, 0x00, 0x00}));
    w.Add("status_7", Bytes({0x83, 0x00, 0x07}));
    w.Add("reset", Bytes({0x88, 0x00}));
    w.Add("number_300", Bytes({0x89, 0x00, 0x2C, 0x01}));
    w.Add("material_2000", Bytes({0x86, 0x00}) + std::string(2000, 'M'));
    w.Add("job_zero_inside", Bytes({0x87, 0x00}) + std::string("AB\0CD", 5));
    w.Add("other_code", Bytes({0x8A, 0x00}));
    w.Add("ink_short", Bytes({0x81}));
}

void WriteErrorRecords(const std::string& folder)
{
    Writer w(folder, "errorrecord");
    const lmsim::Scenario errors(lmsim::ScenarioKind::Errors, 64, 1);
    for (uint64_t step = 0; step < 5; ++step)
        w.Add("lmsim_step" + std::to_string(step), lmsim::ErrorPayload(errors.StateAt(0, step * 8000)));
    w.Add("no_error", lmsim::ErrorPayload(lmsim::PrinterState{}));
    w.Add("surrogate_pair", "00000201" + lmsim::EncodeErrorText("\xF0\x9F\x96\xA8 jam"));
    w.Add("garbled_group", "0000012A0049ZZ6E0074");
    w.Add("short_last_group", "0000012A004900");
    w.Add("lower_case_hex", "00000305006f0070");
}

// A printer-state script: each answer as a length byte (255: two length bytes
// follow, low byte first) and its bytes.
std::string Script(const std::vector<std::string>& answers)
{
    std::string script;
    for (const std::string& answer : answers) {
        if (answer.size() < 255) {
            script += static_cast<char>(answer.size());
        } else {
            script += static_cast<char>(255);
            script += static_cast<char>(answer.size() & 0xFF);
            script += static_cast<char>(answer.size() >> 8);
        }
        script += answer;
    }
    return script;
}

// The answers of one full check at a time of a scenario.
void AddCheck(std::vector<std::string>& answers, lmsim::Session& session, uint64_t ms)
{
    for (uint8_t command : {lmsim::CmdGate, lmsim::CmdDriverJob, lmsim::CmdPrinterJob, lmsim::CmdError})
        answers.push_back(session.Answer(command, 0, ms).bytes);
}

void WritePrinterStates(const std::string& folder)
{
    Writer w(folder, "printerstate");
    const lmsim::Scenario demo(lmsim::ScenarioKind::Demo, 64, 1);
    lmsim::Session demoSession(demo);
    std::vector<std::string> answers;
    // The first job's ink error, the hand-over to the next job and the media jam.
    for (uint64_t ms : {4000, 6000, 8000, 16000, 23100, 23600, 36000, 37000, 42000})
        AddCheck(answers, demoSession, ms);
    w.Add("lmsim_demo", Script(answers));

    const lmsim::Scenario errors(lmsim::ScenarioKind::Errors, 64, 1);
    lmsim::Session errorSession(errors);
    answers.clear();
    for (uint64_t ms = 0; ms < 48000; ms += 4000)
        AddCheck(answers, errorSession, ms);
    w.Add("lmsim_errors", Script(answers));

    const std::string gate = Bytes({0x85, 0x00, 0x01, 0x00, 0x00, 0x00});
    const std::string job17 = Bytes({0x8C, 0x00}) + "17";
    const std::string printer17 = Bytes({0x8B, 0x00}) + "17";
    const std::string error12A = Bytes({0x8A, 0x00}) + "0000012A" + lmsim::EncodeErrorText("Ink tank empty");
    w.Add("gate_of_four_bytes", Script({Bytes({0x85, 0x00, 0x01, 0x00})}));
    w.Add("jobs_differ", Script({gate, job17, printer17, error12A, gate, job17, Bytes({0x8B, 0x00}) + "16"}));
    w.Add("error_twice_then_clear", Script({gate, job17, printer17, error12A, gate, job17, printer17, error12A, gate,
                                            job17, printer17, Bytes({0x8A, 0x00}) + "00000000"}));
    w.Add("short_answers", Script({gate, Bytes({0x8C}), gate, job17, Bytes({0x8B}), gate, job17, printer17,
                                   Bytes({0x8A})}));
    w.Add("long_error_text",
          Script({gate, job17, printer17, Bytes({0x8A, 0x00}) + "00000201" + std::string(1100, 'A')}));
}

void WriteTexts(const std::string& folder)
{
    Writer w(folder, "textrules");
    const char* const texts[] = {"12abc", "abc", " \t-1", "+42", "4294967296", "-2147483649", "2147483647",
                                 "Line one\\nLine two", "a\\nb\\nc", "back\\\\n", "\\n\\n"};
    int n = 0;
    for (const char* text : texts)
        w.Add("text" + std::to_string(++n), text);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <corpus folder>\n");
        return 2;
    }
    WriteAnswers(argv[1]);
    WriteErrorRecords(argv[1]);
    WritePrinterStates(argv[1]);
    WriteTexts(argv[1]);
    return 0;
}
