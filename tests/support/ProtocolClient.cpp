#include "tests/support/ProtocolClient.h"

#include "wire/Commands.h"

namespace tavix::test {

std::string LoginBody(std::string_view user, std::string_view password, std::string_view machine) {
    std::string body = "user_name=";
    body.append(user).append("&pwd=").append(password);
    if (!machine.empty())
        body.append("&yjm=").append(machine);
    return body;
}

std::string ProtocolClient::RequestFrame(int command, std::string_view body) const {
    return net::FormatFrame(command, net::WithCredentials(body, user_, password_));
}

std::string ProtocolClient::LoginFrame(std::string_view machine) const {
    return RequestFrame(net::kCmdLogin, LoginBody(user_, password_, machine));
}

bool ProtocolClient::IsPush(int command) {
    return command == net::kCmdQuoteUpdate || command == net::kCmdMarketPhase;
}

} // namespace tavix::test
