#include "users/credentials.h"

#include "data/dm.h"
#include "data/mylib.h"
#include "data/passwords.h"

int matchingUsers(const QString& name, const QString& password)
{
    Dataset* query = dmfm->ADOQuery1;
    OpenQuery(query, QStringLiteral("select passwd from userdb where username=?"), {name});
    int matches = 0;
    query->first();
    for (int i = 0; i < query->recordCount(); ++i) {
        if (passwords::verify(query->text(QStringLiteral("passwd")), password))
            ++matches;
        query->next();
    }
    return matches;
}
