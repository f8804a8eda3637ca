// Login Flow v2 as Nextcloud serves it, and the revocation of app passwords.

#include "PhpJson.h"
#include "Sandbox.h"
#include "Wire.h"

namespace sandbox {

Sandbox::Reply Sandbox::startLogin()
{
    const std::string flowId = randomText(128);
    const std::string token = randomText(128);
    std::optional<std::string> loginPage;
    {
        std::lock_guard lock(m_mutex);
        m_flows[flowId] = Flow{token, false, false, {}};
        loginPage = m_loginPage;
    }
    PhpJson body;
    body.beginObject()
        .key("poll")
        .beginObject()
        .key("token")
        .string(token)
        .key("endpoint")
        .string(pageUrl("/login/v2/poll"))
        .endObject()
        .key("login")
        .string(loginPage.value_or(pageUrl("/login/v2/flow/" + flowId)))
        .endObject();
    return json(200, body.take());
}

Sandbox::Reply Sandbox::pollLogin(const std::string& form)
{
    const auto fields = parseForm(form);
    const auto token = fields.find("token");
    std::lock_guard lock(m_mutex);
    for (auto& [id, flow] : m_flows) {
        if (token == fields.end() || flow.token != token->second || !flow.granted || flow.delivered)
            continue;
        flow.delivered = true;
        PhpJson body;
        body.beginObject()
            .key("server")
            .string(baseUrl())
            .key("loginName")
            .string(m_options.user)
            .key("appPassword")
            .string(flow.appPassword)
            .endObject();
        return json(200, body.take());
    }
    return json(404, "[]");
}

Sandbox::Reply Sandbox::loginPage(const std::string& flowId)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_flows.count(flowId))
            return html(404, "Not found", "<h2>This login link is not valid.</h2>");
    }
    return html(200, "Connect to your account",
                "<h2>Connect to your account</h2><p>Lumbra wants to access your account <b>" +
                    m_options.user +
                    "</b>.</p>"
                    "<form method=\"post\" action=\"" +
                    pageUrl("/login/v2/grant") +
                    "\">"
                    "<input type=\"hidden\" name=\"flow\" value=\"" +
                    flowId +
                    "\">"
                    "<button type=\"submit\">Grant access</button></form>");
}

Sandbox::Reply Sandbox::grantLogin(const std::string& form)
{
    const auto fields = parseForm(form);
    const auto flow = fields.find("flow");
    if (flow == fields.end() || !grant(pageUrl("/login/v2/flow/" + flow->second)))
        return html(400, "Login failed", "<h2>This login link is not valid any more.</h2>");
    return html(200, "Account connected",
                "<h2>Account connected</h2><p>You can close this window and return to "
                "Lumbra.</p>");
}

Sandbox::Reply Sandbox::revoke(const LoggedRequest& request)
{
    if (request.header("ocs-apirequest") != "true") return message(412, "CSRF check failed");
    const auto password = authenticatedPassword(request);
    if (!password) return message(401, "");
    {
        std::lock_guard lock(m_mutex);
        m_passwords.erase(*password);
    }
    return json(200,
                R"({"ocs":{"meta":{"status":"ok","statuscode":200,"message":"OK"},"data":[]}})");
}

} // namespace sandbox
