// shaderprogram: GLSL and ARB assembly programs from source files. See shaderprogram.h.
#include "util/shaderprogram/shaderprogram.h"

#include "platform/platform.h" // platformUtcNow for the log timestamp
#include "platform/report.h"   // FATAL, FATAL_LOCATION, reportErrorBox, CHECK_GL
#include "util/data/data.h"    // openFile
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

enum {
    ARB_MAGIC_LENGTH = 5,       // "!!ARB"
    ARB_ERROR_TEXT_BYTES = 5000 // the ARB error box's text buffer
};

static FILE* openShaderFile(const char* name)
{
    FILE* file = openFile(name, "rt");
    if (file) return file;
    // Callers pass bare names; the archive and the tree keep them in the shader directory.
    static const char prefix[] = SHADER_DIRECTORY;
    size_t length = strlen(prefix) + strlen(name) + 1;
    char* path = (char*)malloc(length);
    if (!path) return nullptr;
    snprintf(path, length, "%s%s", prefix, name);
    file = openFile(path, "rt");
    free(path);
    return file;
}

char* readShaderSource(const char* name)
{
    FILE* file = openShaderFile(name);
    if (!file) return nullptr;
    long length = -1;
    if (fseek(file, 0, SEEK_END) == 0) length = ftell(file);
    rewind(file);
    if (length < 0) {
        fclose(file);
        return nullptr;
    }
    char* text = (char*)malloc((size_t)length + 1);
    if (!text) {
        fclose(file);
        return nullptr;
    }
    // A text-mode read may deliver fewer bytes than the file's length.
    size_t got = fread(text, 1, (size_t)length, file);
    text[got] = 0;
    fclose(file);
    return text;
}

static bool isArbSource(const char* source) { return strncmp(source, "!!ARB", ARB_MAGIC_LENGTH) == 0; }

// The source with `defines` after its #version line (a #version must come first), or before it all.
static char* withDefines(char* source, const char* defines)
{
    if (!defines || !*defines) return source;
    size_t at = 0;
    if (strncmp(source, "#version", 8) == 0) {
        while (source[at] && source[at] != '\n') at++;
        if (source[at] == '\n') at++;
    }
    size_t sourceLength = strlen(source), definesLength = strlen(defines);
    char* combined = (char*)malloc(sourceLength + definesLength + 2);
    if (!combined) FATAL("Out of memory for a shader source");
    memcpy(combined, source, at);
    memcpy(combined + at, defines, definesLength);
    combined[at + definesLength] = '\n';
    memcpy(combined + at + definesLength + 1, source + at, sourceLength - at + 1);
    free(source);
    return combined;
}

// >> sources, kept for reload
struct ProgramSources {
    ShaderProgram* program;
    std::string vertexFile, fragmentFile, defines;
};
static std::vector<ProgramSources> s_sources; // programs are never deleted, so none goes stale
// Creator mode: programs that do not build become stand-ins (shaderProgramForgiveLoadFailures).
static bool s_forgiveLoadFailures;
static std::string s_loadProblems;

ShaderProgram::ShaderProgram(const char* vertexFile, const char* fragmentFile, const char* defines)
{
    if (!vertexFile || !fragmentFile) return; // the empty program
    s_sources.push_back(ProgramSources{this, vertexFile, fragmentFile, defines ? defines : ""});

    if (s_forgiveLoadFailures) {
        char* vertexSource = readShaderSource(vertexFile);
        char* fragmentSource = readShaderSource(fragmentFile);
        bool arb = (vertexSource && isArbSource(vertexSource)) || (fragmentSource && isArbSource(fragmentSource));
        if (!arb) {
            std::string log;
            if (buildForgiving(vertexSource, fragmentSource, defines, &log)) return;
            std::string line = std::string(vertexFile) + " + " + fragmentFile + ": " + log;
            while (!line.empty() && line.back() == '\n') line.pop_back();
            s_loadProblems += line + " (drawn magenta until reloaded)\n";
            fprintf(stderr, "halvoren: %s (drawn magenta until reloaded)\n", line.c_str());
            return;
        }
        free(vertexSource); // ARB assembly builds as always
        free(fragmentSource);
    }

    char* vertexSource = readShaderSource(vertexFile);
    if (!vertexSource) FATAL("Can't read shader file %s\n", vertexFile);
    char* fragmentSource = readShaderSource(fragmentFile);
    if (!fragmentSource) {
        free(vertexSource);
        FATAL("Can't read shader file %s\n", fragmentFile);
    }

    if (!isArbSource(vertexSource)) {
        isARB = 0;
        vertexSource = withDefines(vertexSource, defines);
        fragmentSource = withDefines(fragmentSource, defines);
        buildGlsl(vertexSource, fragmentSource);
    } else if (isArbSource(fragmentSource)) {
        isARB = 1;
        buildArb(vertexSource, fragmentSource);
    } else {
        free(vertexSource);
        free(fragmentSource);
        FATAL_LOCATION(); // an ARB vertex program cannot pair with a GLSL fragment shader
    }
    free(vertexSource);
    free(fragmentSource);
}

// >> ARB assembly

static void loadArbProgram(GLenum target, GLuint* name, const char* source, const char* errorFormat)
{
    glGenProgramsARB(1, name);
    glBindProgramARB(target, *name);
    glProgramStringARB(target, GL_PROGRAM_FORMAT_ASCII_ARB, (GLsizei)strlen(source), source);
    GLint errorPosition = -1;
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &errorPosition);
    if (errorPosition != -1) {
        const char* errorString = (const char*)glGetString(GL_PROGRAM_ERROR_STRING_ARB);
        char* text = (char*)malloc(ARB_ERROR_TEXT_BYTES);
        if (text) {
            snprintf(text, ARB_ERROR_TEXT_BYTES, errorFormat, errorPosition, errorString ? errorString : "");
            reportErrorBox("%s", text);
            free(text);
        }
        FATAL_LOCATION();
    }
}

void ShaderProgram::buildArb(const char* vertexSource, const char* fragmentSource)
{
    loadArbProgram(GL_VERTEX_PROGRAM_ARB, &vertexProgramARB, vertexSource,
                   "Vertex program error at position: %d\n%s\n");
    loadArbProgram(GL_FRAGMENT_PROGRAM_ARB, &fragmentProgramARB, fragmentSource,
                   "Fragment program error at position: %d\n%s\n");
}

// >> GLSL

// Prints the UTC timestamp, then the message with the object's info log, to standard output.
static void printLog(GLhandleARB object, const char* format)
{
    GLint length = 0;
    glGetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
    if (length < 1) length = 1;
    char* log = (char*)calloc((size_t)length + 1, 1);
    if (log) glGetInfoLogARB(object, length, nullptr, log);
    PlatformUtcTime now = platformUtcNow();
    printf("%04d-%02d-%02d %2d:%02d:%02d:%03d ", now.year, now.month, now.day, now.hour, now.minute,
           now.second, now.millis);
    printf(format, log ? log : "");
    fflush(stdout);
    free(log);
}

static void compileShader(GLhandleARB shader, const char* failureFormat)
{
    glCompileShaderARB(shader);
    CHECK_GL();
    GLint status = 0;
    glGetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &status);
    if (status != 1) {
        printLog(shader, failureFormat);
        FATAL_LOCATION();
    }
}

void ShaderProgram::buildGlsl(const char* vertexSource, const char* fragmentSource)
{
    vertexShader = glCreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
    CHECK_GL();
    fragmentShader = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    CHECK_GL();
    glShaderSourceARB(vertexShader, 1, &vertexSource, nullptr);
    CHECK_GL();
    glShaderSourceARB(fragmentShader, 1, &fragmentSource, nullptr);
    CHECK_GL();

    compileShader(vertexShader, "--- Vertex shader compile failed, log:\n %s\n---\n");
    compileShader(fragmentShader, "--- Fragment shader compile failed, log:\n %s\n---\n");

    program = glCreateProgramObjectARB();
    CHECK_GL();
    glAttachObjectARB(program, vertexShader);
    CHECK_GL();
    glAttachObjectARB(program, fragmentShader);
    CHECK_GL();
    glLinkProgramARB(program);
    CHECK_GL();
    GLint status = 0;
    glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &status);
    if (status != 1) {
        printLog(program, "--- Shader linking failed, log:\n %s\n---\n");
        FATAL_LOCATION();
    }

    // Validation runs against whatever GL state is current at load time.
    glValidateProgramARB(program);
    CHECK_GL();
    status = 0;
    glGetObjectParameterivARB(program, GL_OBJECT_VALIDATE_STATUS_ARB, &status);
    if (status != 1) {
        printLog(program, "--- Shader program validation failed, log:\n %s\n---\n");
        FATAL_LOCATION();
    }
}

// >> binding

void ShaderProgram::bind()
{
    if (isARB == 0) {
        glUseProgramObjectARB(program);
        CHECK_GL();
    } else if (isARB == 1) {
        glUseProgramObjectARB(0);
        CHECK_GL();
        glEnable(GL_FRAGMENT_PROGRAM_ARB);
        CHECK_GL();
        glBindProgramARB(GL_VERTEX_PROGRAM_ARB, vertexProgramARB);
        CHECK_GL();
        glEnable(GL_VERTEX_PROGRAM_ARB);
        CHECK_GL();
        glBindProgramARB(GL_FRAGMENT_PROGRAM_ARB, fragmentProgramARB);
        CHECK_GL();
    } else {
        unbindAll();
    }
}

void ShaderProgram::unbindAll()
{
    glDisable(GL_FRAGMENT_PROGRAM_ARB);
    CHECK_GL();
    glDisable(GL_VERTEX_PROGRAM_ARB);
    CHECK_GL();
    glUseProgramObjectARB(0);
    CHECK_GL();
}

// >> uniforms

GLint ShaderProgram::uniformLocation(const char* name)
{
    GLint location = glGetUniformLocationARB(program, name);
    if (location == -1 && standIn) return -1; // GL ignores a set at -1
    if (location == -1) FATAL("Couldn't find uniform %s in %i", name, (int)program);
    return location;
}

void ShaderProgram::setUniform1i(const char* name, int value) { glUniform1iARB(uniformLocation(name), value); }

void ShaderProgram::setUniform1f(const char* name, float value) { glUniform1fARB(uniformLocation(name), value); }

void ShaderProgram::setUniform3fv(const char* name, const float* values)
{
    glUniform3fvARB(uniformLocation(name), 1, values);
}

// >> reload
// The driver's info log of a shader or program object.
static std::string infoLog(GLhandleARB object)
{
    GLint length = 0;
    glGetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
    if (length < 1) return "";
    std::string log((size_t)length, '\0');
    glGetInfoLogARB(object, length, nullptr, &log[0]);
    log.resize(strlen(log.c_str()));
    return log;
}

// A compiled shader object, or 0 with the log in *log.
static GLhandleARB compileQuietly(GLenum type, const char* source, const char* stage, std::string* log)
{
    GLhandleARB shader = glCreateShaderObjectARB(type);
    glShaderSourceARB(shader, 1, &source, nullptr);
    glCompileShaderARB(shader);
    GLint status = 0;
    glGetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &status);
    if (status == 1) return shader;
    *log = std::string(stage) + " shader compile failed:\n" + infoLog(shader);
    glDeleteObjectARB(shader);
    return 0;
}

// The names of a program's active uniforms.
static std::vector<std::string> activeUniforms(GLhandleARB program)
{
    std::vector<std::string> names;
    GLint count = 0;
    glGetObjectParameterivARB(program, GL_OBJECT_ACTIVE_UNIFORMS_ARB, &count);
    for (GLint i = 0; i < count; i++) {
        char name[256];
        GLsizei length = 0;
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniformARB(program, (GLuint)i, sizeof name, &length, &size, &type, name);
        names.push_back(std::string(name, (size_t)length));
    }
    return names;
}

// A new GLSL program from two sources, built without any report: `built` gets its objects, or
// false with the driver's log in *log.
static bool buildGlslQuietly(ShaderProgram* built, const char* vertexSource, const char* fragmentSource,
                             std::string* log)
{
    GLhandleARB vertex = compileQuietly(GL_VERTEX_SHADER_ARB, vertexSource, "vertex", log);
    if (!vertex) return false;
    GLhandleARB fragment = compileQuietly(GL_FRAGMENT_SHADER_ARB, fragmentSource, "fragment", log);
    if (!fragment) {
        glDeleteObjectARB(vertex);
        return false;
    }
    GLhandleARB program = glCreateProgramObjectARB();
    glAttachObjectARB(program, vertex);
    glAttachObjectARB(program, fragment);
    glLinkProgramARB(program);
    GLint linked = 0, valid = 0;
    glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &linked);
    if (linked == 1) {
        glValidateProgramARB(program);
        glGetObjectParameterivARB(program, GL_OBJECT_VALIDATE_STATUS_ARB, &valid);
    }
    if (linked != 1 || valid != 1) {
        *log = (linked != 1 ? "link failed:\n" : "validation failed:\n") + infoLog(program);
        glDeleteObjectARB(program);
        glDeleteObjectARB(vertex);
        glDeleteObjectARB(fragment);
        return false;
    }
    built->program = program;
    built->vertexShader = vertex;
    built->fragmentShader = fragment;
    return true;
}

static bool reloadGlsl(ShaderProgram* p, const char* vertexSource, const char* fragmentSource, std::string* log)
{
    ShaderProgram fresh(nullptr, nullptr);
    if (!buildGlslQuietly(&fresh, vertexSource, fragmentSource, log)) return false;
    // A stand-in has none of the uniforms the scenes set; the GL's own state is no one's to lose.
    std::string missing;
    std::vector<std::string> now = activeUniforms(fresh.program);
    for (const std::string& name : activeUniforms(p->program)) {
        bool found = name.compare(0, 3, "gl_") == 0;
        for (const std::string& n : now) found = found || n == name;
        if (!found && !p->standIn) missing += " " + name;
    }
    if (!missing.empty()) {
        *log = "the scenes set uniforms the new program lacks:" + missing;
        glDeleteObjectARB(fresh.program);
        glDeleteObjectARB(fresh.vertexShader);
        glDeleteObjectARB(fresh.fragmentShader);
        return false;
    }
    glDeleteObjectARB(p->program);
    glDeleteObjectARB(p->vertexShader);
    glDeleteObjectARB(p->fragmentShader);
    p->program = fresh.program;
    p->vertexShader = fresh.vertexShader;
    p->fragmentShader = fresh.fragmentShader;
    p->standIn = false;
    return true;
}

// >> creator mode: failures that a reload can mend
void shaderProgramForgiveLoadFailures(bool forgive) { s_forgiveLoadFailures = forgive; }
const std::string& shaderProgramLoadProblems() { return s_loadProblems; }

// Flat magenta over the geometry, where a program that did not build would have drawn.
static const char* const STAND_IN_VERTEX = "void main() { gl_Position = ftransform(); }\n";
static const char* const STAND_IN_FRAGMENT = "void main() { gl_FragColor = vec4(1.0, 0.0, 1.0, 1.0); }\n";

// GLSL sources as the constructor has them; false (with *log) when they do not build.
bool ShaderProgram::buildForgiving(char* vertexSource, char* fragmentSource, const char* defines, std::string* log)
{
    bool built = false;
    if (!vertexSource || !fragmentSource) {
        *log = "can't read shader file";
    } else {
        vertexSource = withDefines(vertexSource, defines);
        fragmentSource = withDefines(fragmentSource, defines);
        built = buildGlslQuietly(this, vertexSource, fragmentSource, log);
        while (glGetError() != GL_NO_ERROR) {}
    }
    free(vertexSource);
    free(fragmentSource);
    if (built) return true;
    standIn = true;
    buildGlsl(STAND_IN_VERTEX, STAND_IN_FRAGMENT);
    return false;
}

// An ARB program's name, or 0 with the error in *log.
static GLuint loadArbQuietly(GLenum target, const char* source, std::string* log)
{
    GLuint name = 0;
    glGenProgramsARB(1, &name);
    glBindProgramARB(target, name);
    glProgramStringARB(target, GL_PROGRAM_FORMAT_ASCII_ARB, (GLsizei)strlen(source), source);
    GLint errorPosition = -1;
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &errorPosition);
    glBindProgramARB(target, 0);
    if (errorPosition == -1) return name;
    const char* error = (const char*)glGetString(GL_PROGRAM_ERROR_STRING_ARB);
    *log = "ARB program error at position " + std::to_string(errorPosition) + ": " + (error ? error : "");
    glDeleteProgramsARB(1, &name);
    return 0;
}

bool shaderProgramReload(ShaderProgram* program, std::string* log)
{
    const ProgramSources* sources = nullptr;
    for (const ProgramSources& s : s_sources)
        if (s.program == program) sources = &s;
    if (!sources) return true; // the empty program
    char* vertexSource = readShaderSource(sources->vertexFile.c_str());
    char* fragmentSource = readShaderSource(sources->fragmentFile.c_str());
    bool reloaded = false;
    if (!vertexSource || !fragmentSource) {
        *log = "can't read shader file " + (vertexSource ? sources->fragmentFile : sources->vertexFile);
    } else if (isArbSource(vertexSource) != (program->isARB == 1) || isArbSource(fragmentSource) != (program->isARB == 1)) {
        *log = "a program cannot change between ARB assembly and GLSL while the show runs";
    } else if (program->isARB == 1) {
        GLuint vertex = loadArbQuietly(GL_VERTEX_PROGRAM_ARB, vertexSource, log);
        GLuint fragment = vertex ? loadArbQuietly(GL_FRAGMENT_PROGRAM_ARB, fragmentSource, log) : 0;
        if (vertex && fragment) {
            glDeleteProgramsARB(1, &program->vertexProgramARB);
            glDeleteProgramsARB(1, &program->fragmentProgramARB);
            program->vertexProgramARB = vertex;
            program->fragmentProgramARB = fragment;
            reloaded = true;
        } else if (vertex) {
            glDeleteProgramsARB(1, &vertex);
        }
    } else {
        vertexSource = withDefines(vertexSource, sources->defines.c_str());
        fragmentSource = withDefines(fragmentSource, sources->defines.c_str());
        reloaded = reloadGlsl(program, vertexSource, fragmentSource, log);
    }
    free(vertexSource);
    free(fragmentSource);
    // A failed build leaves GL errors behind; the show's next check must not take them for its own.
    while (glGetError() != GL_NO_ERROR) {}
    return reloaded;
}

int shaderProgramReloadAll(int* count, std::string* problems)
{
    int failed = 0;
    *count = (int)s_sources.size();
    for (const ProgramSources& s : s_sources) {
        std::string log;
        if (shaderProgramReload(s.program, &log)) continue;
        failed++;
        *problems += s.vertexFile + " + " + s.fragmentFile + ": " + log + "\n";
    }
    return failed;
}
