#include "tools/ledsign/Results.h"

#include <cstdio>

namespace ledsign_tool {

namespace {

struct KindRow {
    ResultKind Kind;
    const char* Name;
    int Exit;
};

constexpr KindRow kKinds[] = {
    {ResultKind::Ok, "", 0},
    {ResultKind::NotFound, "not-found", 3},
    {ResultKind::PermissionDenied, "permission-denied", 4},
    {ResultKind::InUse, "in-use", 5},
    {ResultKind::NotSerial, "not-a-serial-line", 6},
    {ResultKind::TimedOut, "timed-out", 7},
    {ResultKind::LineLost, "line-lost", 7},
    {ResultKind::Damaged, "damaged-reply", 7},
    {ResultKind::Refused, "refused", 8},
    {ResultKind::Interrupted, "interrupted", 1},
    {ResultKind::BadInput, "bad-input", 1},
    {ResultKind::Other, "other", 1},
};

const KindRow& RowOf(ResultKind kind) {
    for (const KindRow& row : kKinds) {
        if (row.Kind == kind) {
            return row;
        }
    }
    return kKinds[std::size(kKinds) - 1];
}

} // namespace

ResultKind KindOf(LineErrorKind kind) {
    static constexpr struct {
        LineErrorKind Line;
        ResultKind Result;
    } kMap[] = {
        {LineErrorKind::None, ResultKind::Ok},
        {LineErrorKind::NotFound, ResultKind::NotFound},
        {LineErrorKind::PermissionDenied, ResultKind::PermissionDenied},
        {LineErrorKind::InUse, ResultKind::InUse},
        {LineErrorKind::NotSerial, ResultKind::NotSerial},
        {LineErrorKind::LineLost, ResultKind::LineLost},
        {LineErrorKind::TimedOut, ResultKind::TimedOut},
        {LineErrorKind::Refused, ResultKind::Refused},
        {LineErrorKind::Damaged, ResultKind::Damaged},
        {LineErrorKind::Interrupted, ResultKind::Interrupted},
    };
    for (const auto& m : kMap) {
        if (m.Line == kind) {
            return m.Result;
        }
    }
    return ResultKind::Other;
}

const char* KindName(ResultKind kind) {
    return RowOf(kind).Name;
}

int ExitStatusOf(ResultKind kind) {
    return RowOf(kind).Exit;
}

nlohmann::json ToJson(const SignResult& result) {
    const bool ok = result.Kind == ResultKind::Ok;
    return {
        {"sign", result.Sign.empty() ? nlohmann::json() : nlohmann::json(result.Sign)},
        {"port", result.Port},
        {"address", result.Address},
        {"ok", ok},
        {"error", ok ? nlohmann::json() : nlohmann::json(KindName(result.Kind))},
        {"message", result.Text},
        {"ms", result.Milliseconds},
    };
}

void PrintJsonLine(const nlohmann::json& object) {
    // Invalid UTF-8 in a name or a system message is replaced, never a reason to fail.
    const std::string line = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

const char* const kExitStatusHelp =
    "Exit status: 0 success, 1 other failure, 2 bad usage or configuration, 3 port not found,\n"
    "4 permission denied on the port, 5 port in use, 6 not a serial line, 7 no answer (timed\n"
    "out, line lost, damaged reply), 8 refused by the sign; with several signs, that of the\n"
    "first failure in the order given.\n";

} // namespace ledsign_tool
