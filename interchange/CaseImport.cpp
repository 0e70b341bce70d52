#include "interchange/CaseImport.h"

#include "interchange/CdfReader.h"
#include "interchange/MatpowerReader.h"

namespace tarvel {

InputFormat detectInputFormat(std::string_view text)
{
    if (looksLikeMatpowerCase(text))
        return InputFormat::Matpower;
    if (looksLikeCdfCase(text))
        return InputFormat::Cdf;
    return InputFormat::Cdu;
}

CaseReadResult readCase(std::string_view text, InputFormat format)
{
    if (format == InputFormat::Matpower)
        return readMatpowerCase(text);
    if (format == InputFormat::Cdf)
        return readCdfCase(text);
    CaseReadResult notACase;
    notACase.error = "Файл не похож ни на случай MATPOWER (нет таблицы mpc.bus), ни на IEEE CDF (нет раздела BUS DATA)";
    return notACase;
}

}  // namespace tarvel
