/* Instantiates the identifiers that the HTML object model's header declares
   and mingw's uuid library lacks (DIID_HTMLWindowEvents among them). */
#include <initguid.h>
#include <mshtml.h>
