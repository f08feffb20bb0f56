/* Structure of a script source as far as it can be checked without the statement grammar:
   brackets balance and nest, and include statements stand outside brackets and name a quoted file. */

%code requires {
#include "script/compiler/GSToken.h"
class GSParseContext;
}

%code {
#include "script/compiler/GSParseContext.h"

static int gslex(GSSTYPE* value, GSParseContext* ctx)
{
    return ctx->Lex(value);
}

// Bison calls this only when its own stack runs out, which the nesting limit should prevent.
static void gserror(GSParseContext* ctx, const char* message)
{
    ctx->ParserFailure(message);
}
}

%define api.pure full
%define api.prefix {gs}
%define api.token.prefix {GSTOK_}
%define api.value.type {GSToken}
%define parse.error custom
%param {GSParseContext* ctx}

/* PLAIN is a run of names, numbers, strings and operators; STRING a string right after include. */
%token PLAIN STRING INCLUDE
%token LPAREN RPAREN LBRACKET RBRACKET LBRACE RBRACE

%%

unit
    : top_items
    ;

top_items
    : %empty
    | top_items top_item
    ;

top_item
    : item
    | INCLUDE STRING            { ctx->OnInclude($2); }
    ;

items
    : %empty
    | items item
    ;

item
    : PLAIN
    | LPAREN items RPAREN
    | LBRACKET items RBRACKET
    | LBRACE items RBRACE
    ;

%%

static int yyreport_syntax_error(const yypcontext_t*, GSParseContext* ctx)
{
    // The context knows the lookahead and the open brackets, which say more than bison's token names.
    ctx->SyntaxError();
    return 0;
}
